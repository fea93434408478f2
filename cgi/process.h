// How a request ends from deep inside: the web server only sees the exit
// status. Tests and the fuzzer put their own ending in place so that a whole
// request runs in-process.
#pragma once

// Flushes nothing itself: main's atexit handler writes what was printed.
[[noreturn]] void end_process(int status);

// An ender must not return (it throws or longjmps); null restores exit().
using process_ender = void (*)(int status);
void set_process_ender(process_ender ender);
