// SPDX-License-Identifier: GPL-2.0
#include "process.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {
process_ender s_ender = nullptr;
long long s_started_ns = 0;  // 0: no budget started

long long monotonic_ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}
}  // namespace

void end_process(int status) {
  if (s_ender) s_ender(status);
  std::exit(status);
}

void set_process_ender(process_ender ender) { s_ender = ender; }

long long monotonic_ms() { return monotonic_ns() / 1000000; }

void start_request_budget() { s_started_ns = monotonic_ns(); }

long long request_stamp_ns() { return s_started_ns; }

int request_wait_ms(int limit) {
  if (s_started_ns == 0) return limit;
  const long long left = s_started_ns / 1000000 + kRequestBudgetMs - monotonic_ms();
  if (left <= 0) return 0;
  return left < limit ? static_cast<int>(left) : limit;
}

void sleep_ms(int ms) {
  timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
  }
}
