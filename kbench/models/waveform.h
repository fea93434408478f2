/* SPDX-License-Identifier: GPL-2.0 */
// A logic analyser on GPIO lines: every level change with its virtual time,
// written out as a VCD file that standard waveform and protocol tools read.
#ifndef KBENCH_MODELS_WAVEFORM_H
#define KBENCH_MODELS_WAVEFORM_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kb::models {

class Waveform {
 public:
  struct Signal {
    unsigned gpio;
    std::string name;
  };
  struct Change {
    uint64_t time_ns;
    size_t signal;  // index into signals()
    int level;
  };

  // Starts recording now, with the lines' present levels as the first sample.
  // Create it before models that react to edges, so it sees their answers
  // after the edges that caused them.
  explicit Waveform(std::vector<Signal> signals);
  ~Waveform();
  Waveform(const Waveform&) = delete;
  Waveform& operator=(const Waveform&) = delete;

  const std::vector<Signal>& signals() const;
  const std::vector<Change>& changes() const;  // excluding the first sample
  int initial_level(size_t signal) const;

  // VCD text with a 1 ns timescale. Changes at the same virtual instant keep
  // their order by being spread 1 ns apart, as the calls that made them would.
  std::string vcd() const;
  bool write_vcd(const std::string& path) const;

 private:
  struct State;
  std::unique_ptr<State> state_;  // the GPIO listener points into it
  uint64_t listener_;
};

}  // namespace kb::models

#endif
