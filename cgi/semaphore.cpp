// SPDX-License-Identifier: GPL-2.0
#include "semaphore.h"

#include "order.h"
#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// Why "sem_cgi" can neither stop a request nor lose its command.
//
// Other programs on the camera may take "sem_cgi" by name, so every access
// to the speed memory takes it. But it is a 0777 file in /dev/shm that any
// local user may hold, cut short or set to any value, and it outlives every
// process, so a request killed while holding it leaves it taken. So:
//  - It is only ever tried (sem_trywait): no call can block, and no signal
//    has to cut one.
//  - Movement requests hold the order flock (order.cpp) while they take it,
//    so while we hold the flock no live request of the web server holds the
//    semaphore: one taken then is a dead request's or another user's, and
//    waiting for it would only let them delay the command. So it is tried
//    once, and a taken one is inherited; our sem_post returns the value to
//    1. Without a usable lock file a taker may be a live request, so it is
//    tried up to kSemTakeoverMs (retry_for), then the request goes on
//    without the token; when a live holder kept the flock, it does not even
//    try.
//  - A file cut short makes the semaphore's memory fault (SIGBUS), and any
//    local user may cut it: uncaught, that would kill every request before
//    its command goes out. The handler maps a blank page over it and
//    returns, so the C library's call finishes on harmless memory and
//    nothing jumps out of it; the request then says the semaphore is
//    unusable and goes on. A size check before the call could not stand in:
//    the file can be cut between the check and the call.
//  - A failed sem_post (another user set the value to SEM_VALUE_MAX) is
//    reported; the command still goes out.
// The order flock, not the semaphore, is what orders the requests; the
// speed memory is safe without either (cmd_change.cpp says why). Both
// objects are created with the mode asked for whatever the umask, so that a
// first run as root leaves them usable by the web server.

sem_t *sem = nullptr;

namespace {

bool s_held = false;
volatile sig_atomic_t s_faulted = 0;
std::uintptr_t s_page_size = 0;  // read before the handler may need it

bool held_order() { return order_lock_state() == order_state::held; }

std::uintptr_t page_of(const void *address) {
  return reinterpret_cast<std::uintptr_t>(address) & ~(s_page_size - 1);
}

// Maps a blank page over `page`; an anonymous mapping takes no descriptor.
bool blank_page(std::uintptr_t page) {
  void *at = reinterpret_cast<void *>(page);
  constexpr int kBlank = MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED;
  // The page stays mapped on purpose, in the semaphore's place.
  // cppcheck-suppress [invalidFunctionArg, leakReturnValNotUsed]
  return mmap(at, s_page_size, PROT_READ | PROT_WRITE, kBlank, -1, 0) == at;
}

// A fault in the semaphore's page: a blank page in its place, and the call
// goes on. Any other fault is left to the default action.
void on_fault(int signal_number, siginfo_t *info, void *) {
  // cppcheck-suppress leakReturnValNotUsed
  if (sem && page_of(info->si_addr) == page_of(sem) && blank_page(page_of(sem))) {
    s_faulted = 1;
    return;
  }
  signal(signal_number, SIG_DFL);
}

// After this the request goes on without the semaphore.
void unusable(const char *why) {
  std::fprintf(stderr, "ptz_cgi: semaphore %s: %s; %s\n", kSemName, why,
               held_order() ? "using the lock file alone" : "going on without it");
  s_held = false;
}

}  // namespace

int sem_create_or_open() {
  struct sigaction on_bus {};
  on_bus.sa_sigaction = on_fault;
  on_bus.sa_flags = SA_SIGINFO;
  sigemptyset(&on_bus.sa_mask);
  s_page_size = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  sigaction(SIGBUS, &on_bus, nullptr);
  s_faulted = 0;
  sem = sem_open(kSemName, 0);
  if (sem == SEM_FAILED && errno == ENOENT) {  // created as open_shared creates a file
    const mode_t mask = umask(0);
    sem = sem_open(kSemName, O_CREAT, 0777, 1);
    umask(mask);
  }
  if (sem != SEM_FAILED) return 0;
  sem = nullptr;
  std::fprintf(stderr, "sem_open: %s; %s\n", std::strerror(errno),
               held_order() ? "using the lock file alone" : "going on without it");
  return -1;
}

int semaphore_p() {
  s_held = false;
  // A live request kept the order lock: taking the semaphore now would let
  // the next holder of the lock take it over from us.
  if (!sem || order_lock_state() == order_state::lost) return 0;
  int err = 0;
  const auto attempt = [&] {
    if (sem_trywait(sem) == 0) return s_held = true;
    err = errno;
    return err != EAGAIN || s_faulted;
  };
  if (held_order()) {
    attempt();
  } else {
    retry_for(kSemTakeoverMs, attempt);
  }
  if (s_faulted) {
    unusable("its file is shorter than a semaphore");
  } else if (!s_held && err == EAGAIN && held_order()) {
    std::fputs("ptz_cgi: semaphore sem_cgi: taken outside the lock file; taking it over\n", stderr);
    s_held = true;
  } else if (!s_held && err == EAGAIN) {
    char why[32];
    std::snprintf(why, sizeof(why), "still taken after %d ms", kSemTakeoverMs);
    unusable(why);
  } else if (!s_held) {
    unusable(std::strerror(err));
  }
  return 0;
}

int semaphore_v() {
  if (s_held && sem_post(sem) != 0) {
    std::fprintf(stderr, "ptz_cgi: semaphore %s: cannot release it: %s\n", kSemName,
                 std::strerror(errno));
  }
  if (s_held && s_faulted) unusable("its file is shorter than a semaphore");
  s_held = false;
  return 0;
}

int close_sem() {
  const int rc = sem ? sem_close(sem) : -1;
  sem = nullptr;
  return rc;
}

int del_semvalue() {
  const int rc = sem_unlink(kSemName);
  if (rc != 0) std::perror("sem_unlink");
  return rc;
}
