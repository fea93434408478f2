// SPDX-License-Identifier: GPL-2.0
// GPIO lines: what the SoC drives, what hardware models drive, and the
// level that results on each wire.
#include <linux/gpio.h>

#include <array>
#include <map>

#include "kbench.h"
#include "internal.h"

struct gpio_desc {
  unsigned number;
};

namespace kb::gpio {
namespace {

struct Failure {
  int error;
  bool persistent;
};

std::array<Line, kLines> lines;
std::array<unsigned, kLines> sample_count{};
std::vector<std::pair<ListenerId, Listener>> listeners;
ListenerId next_listener = 1;  // never reset, so stale ids stay unknown
std::vector<std::string> requests;
std::map<unsigned, int> request_failures;
std::map<unsigned, Failure> direction_failures;
std::vector<Contention> contention_list;
std::array<std::optional<size_t>, kLines> open_contention;
// Changes not yet delivered, from pending_head on. The vector keeps its
// capacity, so a bus transfer allocates nothing once it has warmed up.
std::vector<std::pair<unsigned, Source>> pending;
size_t pending_head = 0;
bool dispatching = false;
detail::ResetHook hook([] {
  contention_list.clear();
  open_contention.fill(std::nullopt);
  pending.clear();
  pending_head = 0;
  dispatching = false;
  lines.fill(Line{});
  sample_count.fill(0);
  listeners.clear();
  requests.clear();
  request_failures.clear();
  direction_failures.clear();
});

const std::array<gpio_desc, kLines>& descs() {
  static const auto all = [] {
    std::array<gpio_desc, kLines> d{};
    for (unsigned i = 0; i < kLines; ++i) d[i].number = i;
    return d;
  }();
  return all;
}

// Notifications are delivered in the order the changes happened: a change a
// listener makes (a model answering an edge) is queued until every listener
// has seen the change that caused it.
void dispatch(unsigned gpio, Source source) {
  Line& l = lines[gpio];
  bool fighting = l.output && l.external && *l.external != l.out_level;
  if (fighting && !open_contention[gpio]) {
    open_contention[gpio] = contention_list.size();
    contention_list.push_back({gpio, now_ns(), std::nullopt});
  } else if (!fighting && open_contention[gpio]) {
    contention_list[*open_contention[gpio]].end_ns = now_ns();
    open_contention[gpio].reset();
  }
  for (size_t i = 0; i < listeners.size(); ++i) listeners[i].second(gpio, source);
}

void notify(unsigned gpio, Source source) {
  pending.emplace_back(gpio, source);
  if (dispatching) return;
  dispatching = true;
  while (pending_head < pending.size()) {
    auto [n, src] = pending[pending_head++];
    dispatch(n, src);
  }
  pending.clear();
  pending_head = 0;
  dispatching = false;
}

int direction_failure(unsigned gpio) {
  if (direction_failures.empty()) return 0;
  auto it = direction_failures.find(gpio);
  if (it == direction_failures.end()) return 0;
  int err = it->second.error;
  if (!it->second.persistent) direction_failures.erase(it);
  return err;
}

// Like gpiolib, a NULL descriptor (an optional line that is absent) is
// accepted and nothing happens.
int set_direction(const gpio_desc* desc, bool output, int value) {
  if (!desc) return 0;
  unsigned n = desc->number;
  if (lines[n].can_sleep && detail::atomic_context())
    detail::violation("direction of GPIO " + std::to_string(n) +
                      ", which may sleep, set in atomic context");
  if (int err = direction_failure(n)) return err;
  Line& l = lines[n];
  l.output = output;
  if (output) l.out_level = value ? 1 : 0;
  notify(n, Source::Soc);
  return 0;
}

// gpiolib warns whenever a line that may sleep is read or set without the
// _cansleep call, whatever the context.
void check_no_sleep(const gpio_desc* desc, const char* fn) {
  if (lines[desc->number].can_sleep)
    detail::violation(std::string(fn) + " on GPIO " + std::to_string(desc->number) +
                      ", which may sleep");
}

int raw_get(const gpio_desc* desc) {
  if (!desc) return 0;
  check_no_sleep(desc, "gpiod_get_value");
  ++sample_count[desc->number];
  notify(desc->number, Source::Sample);
  return level(desc->number);
}

void raw_set(const gpio_desc* desc, int value) {
  if (!desc) return;
  check_no_sleep(desc, "gpiod_set_value");
  lines[desc->number].out_level = value ? 1 : 0;
  notify(desc->number, Source::Soc);
}

}  // namespace

const Line& line(unsigned gpio) { return lines.at(gpio); }

int level(unsigned gpio) {
  const Line& l = lines.at(gpio);
  if (l.output) return l.out_level;
  if (l.external) return *l.external;
  return l.pull;
}

void drive(unsigned gpio, std::optional<int> value) {
  Line& l = lines.at(gpio);
  if (value) value = *value ? 1 : 0;
  if (l.external == value) return;
  l.external = value;
  notify(gpio, Source::External);
}

void set_pull(unsigned gpio, int value) { lines.at(gpio).pull = value ? 1 : 0; }
void set_active_low(unsigned gpio, bool active_low) { lines.at(gpio).active_low = active_low; }
ListenerId add_listener(Listener listener) {
  listeners.emplace_back(next_listener, std::move(listener));
  return next_listener++;
}

void remove_listener(ListenerId id) {
  for (auto it = listeners.begin(); it != listeners.end(); ++it) {
    if (it->first == id) {
      listeners.erase(it);
      return;
    }
  }
}
void fail_request(unsigned gpio, int error) { request_failures[gpio] = error; }
void set_absent(unsigned gpio, bool absent) { lines.at(gpio).absent = absent; }
void set_can_sleep(unsigned gpio, bool can_sleep) { lines.at(gpio).can_sleep = can_sleep; }

void fail_direction(unsigned gpio, int error, bool persistent) {
  direction_failures[gpio] = {error, persistent};
}

const std::vector<std::string>& request_log() { return requests; }
unsigned samples(unsigned gpio) { return sample_count.at(gpio); }
const std::vector<Contention>& contentions() { return contention_list; }

}  // namespace kb::gpio

using kb::gpio::kLines;

extern "C" {

struct gpio_desc* gpio_to_desc(unsigned int gpio) {
  if (gpio >= kLines || kb::gpio::lines[gpio].absent) return nullptr;
  return const_cast<gpio_desc*>(&kb::gpio::descs()[gpio]);
}

int desc_to_gpio(const struct gpio_desc* desc) { return desc ? int(desc->number) : -EINVAL; }

bool gpio_is_valid(int number) { return number >= 0 && unsigned(number) < kLines; }

int gpio_request(unsigned int gpio, const char* label) {
  // a valid number without a chip
  if (gpio >= kLines || kb::gpio::lines[gpio].absent) return -EPROBE_DEFER;
  auto failure = kb::gpio::request_failures.find(gpio);
  if (failure != kb::gpio::request_failures.end()) {
    int err = failure->second;
    kb::gpio::request_failures.erase(failure);
    return err;
  }
  kb::gpio::Line& l = kb::gpio::lines[gpio];
  if (l.requested) return -EBUSY;
  l.requested = true;
  l.label = label ? label : "";
  kb::gpio::requests.push_back("+" + std::to_string(gpio));
  return 0;
}

void gpio_free(unsigned int gpio) {
  if (gpio >= kLines || !kb::gpio::lines[gpio].requested) {
    kb::detail::violation("gpio_free of GPIO " + std::to_string(gpio) + " that is not requested");
    return;
  }
  kb::gpio::lines[gpio].requested = false;
  kb::gpio::lines[gpio].label.clear();
  kb::gpio::requests.push_back("-" + std::to_string(gpio));
}

int gpiod_direction_input(struct gpio_desc* desc) {
  return kb::gpio::set_direction(desc, false, 0);
}

int gpiod_direction_output_raw(struct gpio_desc* desc, int value) {
  return kb::gpio::set_direction(desc, true, value);
}

int gpiod_direction_output(struct gpio_desc* desc, int value) {
  bool invert = desc && kb::gpio::lines[desc->number].active_low;
  return kb::gpio::set_direction(desc, true, invert ? !value : value);
}

int gpiod_cansleep(const struct gpio_desc* desc) {
  return desc && kb::gpio::lines[desc->number].can_sleep;
}

int gpiod_get_raw_value(const struct gpio_desc* desc) { return kb::gpio::raw_get(desc); }

int gpiod_get_value(const struct gpio_desc* desc) {
  int v = kb::gpio::raw_get(desc);
  return !desc || v < 0 || !kb::gpio::lines[desc->number].active_low ? v : !v;
}

void gpiod_set_raw_value(struct gpio_desc* desc, int value) { kb::gpio::raw_set(desc, value); }

void gpiod_set_value(struct gpio_desc* desc, int value) {
  bool invert = desc && kb::gpio::lines[desc->number].active_low;
  kb::gpio::raw_set(desc, invert ? !value : value);
}

int gpio_direction_input(unsigned int gpio) { return gpiod_direction_input(gpio_to_desc(gpio)); }

int gpio_direction_output(unsigned int gpio, int value) {
  return gpiod_direction_output_raw(gpio_to_desc(gpio), value);
}

int gpio_get_value(unsigned int gpio) { return gpiod_get_raw_value(gpio_to_desc(gpio)); }
void gpio_set_value(unsigned int gpio, int value) {
  gpiod_set_raw_value(gpio_to_desc(gpio), value);
}

}  // extern "C"
