// SPDX-License-Identifier: GPL-2.0
// The virtual clock: delays advance it by exactly what they ask for.
#include <linux/delay.h>
#include <linux/printk.h>

#include "kbench.h"
#include "internal.h"

namespace kb {
namespace {

uint64_t clock_ns = 0;
std::vector<Delay> delay_list;
detail::ResetHook hook([] {
  clock_ns = 0;
  delay_list.clear();
});

void advance(const char* fn, uint64_t ns) {
  clock_ns += ns;
  delay_list.push_back({fn, ns});
}

void sleep(const char* fn, uint64_t ns) {
  if (detail::atomic_context())
    detail::violation(std::string("sleeping function called from invalid context: ") + fn);
  advance(fn, ns);
}

}  // namespace

uint64_t now_ns() { return clock_ns; }
const std::vector<Delay>& delays() { return delay_list; }

}  // namespace kb

extern "C" {

unsigned long long kb_clock_ns(void) { return kb::clock_ns; }

void ndelay(unsigned long nsecs) { kb::advance("ndelay", nsecs); }
void udelay(unsigned long usecs) { kb::advance("udelay", uint64_t(usecs) * 1000); }
void mdelay(unsigned long msecs) { kb::advance("mdelay", uint64_t(msecs) * 1000000); }
void msleep(unsigned int msecs) { kb::sleep("msleep", uint64_t(msecs) * 1000000); }

unsigned long msleep_interruptible(unsigned int msecs) {
  kb::sleep("msleep_interruptible", uint64_t(msecs) * 1000000);
  return 0;
}

// The shortest allowed sleep keeps tests deterministic.
void usleep_range(unsigned long min, unsigned long max) {
  if (min > max) kb::detail::violation("usleep_range: min above max");
  kb::sleep("usleep_range", uint64_t(min) * 1000);
}

int kb_ratelimit(struct kb_ratelimit_state* rs) {
  constexpr uint64_t kInterval = 5000000000ull;
  if (rs->printed == 0 || kb::clock_ns - rs->begin_ns >= kInterval) {
    rs->begin_ns = kb::clock_ns;
    rs->printed = 0;
  }
  return rs->printed++ < 10;
}

}  // extern "C"
