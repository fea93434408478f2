// SPDX-License-Identifier: GPL-2.0
#include "waveform.h"

#include <cstdio>
#include <fstream>

#include "kbench.h"

namespace kb::models {

struct Waveform::State {
  std::vector<Signal> signals;
  std::vector<int> initial;
  std::vector<int> current;
  std::vector<Change> changes;
};

Waveform::Waveform(std::vector<Signal> signals) : state_(std::make_unique<State>()) {
  state_->signals = std::move(signals);
  for (const Signal& s : state_->signals) state_->initial.push_back(kb::gpio::level(s.gpio));
  state_->current = state_->initial;
  State* st = state_.get();
  listener_ = kb::gpio::add_listener([st](unsigned gpio, kb::gpio::Source) {
    for (size_t i = 0; i < st->signals.size(); ++i) {
      if (st->signals[i].gpio != gpio) continue;
      int level = kb::gpio::level(gpio);
      if (level == st->current[i]) continue;
      st->current[i] = level;
      st->changes.push_back({kb::now_ns(), i, level});
    }
  });
}

Waveform::~Waveform() { kb::gpio::remove_listener(listener_); }

const std::vector<Waveform::Signal>& Waveform::signals() const { return state_->signals; }
const std::vector<Waveform::Change>& Waveform::changes() const { return state_->changes; }
int Waveform::initial_level(size_t signal) const { return state_->initial.at(signal); }

std::string Waveform::vcd() const {
  const State& st = *state_;
  auto id = [](size_t i) { return std::string(1, char('!' + i)); };
  std::string out = "$version kbench $end\n$timescale 1 ns $end\n$scope module bus $end\n";
  for (size_t i = 0; i < st.signals.size(); ++i)
    out += "$var wire 1 " + id(i) + " " + st.signals[i].name + " $end\n";
  out += "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n";
  for (size_t i = 0; i < st.signals.size(); ++i)
    out += std::to_string(st.initial[i]) + id(i) + "\n";
  out += "$end\n";
  uint64_t last = 0;  // the time of #0 above
  for (const Change& c : st.changes) {
    uint64_t t = c.time_ns > last ? c.time_ns : last + 1;
    out += "#" + std::to_string(t) + "\n" + std::to_string(c.level) + id(c.signal) + "\n";
    last = t;
  }
  out += "#" + std::to_string(last + 1000) + "\n";
  return out;
}

bool Waveform::write_vcd(const std::string& path) const {
  std::ofstream f(path, std::ios::binary);
  f << vcd();
  return bool(f);
}

}  // namespace kb::models
