#include "process.h"

#include <cstdlib>
#include <ctime>

namespace {
process_ender s_ender = nullptr;
long long s_budget_end = 0;  // 0: no budget started
}  // namespace

void end_process(int status) {
  if (s_ender) s_ender(status);
  std::exit(status);
}

void set_process_ender(process_ender ender) { s_ender = ender; }

long long monotonic_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void start_request_budget() { s_budget_end = monotonic_ms() + kRequestBudgetMs; }

int request_wait_ms(int limit) {
  if (s_budget_end == 0) return limit;
  const long long left = s_budget_end - monotonic_ms();
  if (left <= 0) return 0;
  return left < limit ? static_cast<int>(left) : limit;
}
