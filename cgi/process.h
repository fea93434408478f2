/* SPDX-License-Identifier: GPL-2.0 */
// How a request ends from deep inside, and how long it may take: the web
// server only sees the exit status. Tests and the fuzzer put their own
// ending in place so that a whole request runs in-process.
#pragma once

// Flushes nothing itself: main's atexit handler writes what was printed.
[[noreturn]] void end_process(int status);

// An ender must not return (it throws or longjmps); null restores exit().
using process_ender = void (*)(int status);
void set_process_ender(process_ender ender);

// Milliseconds on the monotonic clock.
long long monotonic_ms();

// No request may end later than 5 s after it began, whatever it waited
// for: main starts this budget (the rest of the 5 s covers the start-up
// before main and the exit), and every wait of the request is cut to what
// is left of it. Without a started budget (tests, the fuzzer) each wait
// keeps its own limit.
inline constexpr int kRequestBudgetMs = 4500;
void start_request_budget();
// When main started the budget, in nanoseconds on the monotonic clock; 0
// in-process, where no budget runs. It tells a wrapped pid from an older one
// (order.cpp); the pid gives the order.
long long request_stamp_ns();
// `limit`, or what is left of the budget when that is less (never below 0).
int request_wait_ms(int limit);

// Sleeps on the monotonic clock.
void sleep_ms(int ms);

// Tries `attempt` until it returns true or `limit_ms` (cut to the budget)
// has passed; false when the time ran out. Between tries it sleeps 1 ms,
// doubling up to 8 ms: no signal and no timer, and a clock set back
// stretches nothing.
template <typename Attempt>
bool retry_for(int limit_ms, Attempt attempt) {
  const long long deadline = monotonic_ms() + request_wait_ms(limit_ms);
  for (int pause = 1;; pause = pause < 8 ? pause * 2 : 8) {
    if (attempt()) return true;
    const long long left = deadline - monotonic_ms();
    if (left <= 0) return false;
    sleep_ms(left < pause ? static_cast<int>(left) : pause);
  }
}
