#include "semaphore.h"

#include "process.h"
#include "shared_file.h"

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

// Why two locks, and why neither may hold a request forever.
//
// "sem_cgi" outlives every process, so a request killed by the web server
// while it holds the semaphore would leave it at 0 and block every later
// request forever. The kernel drops a flock() when its holder dies, so every
// request first takes an exclusive flock on kSemLockPath and only then the
// semaphore:
//  - live requests are mutually exclusive through the flock alone;
//  - while we hold the flock no live process can hold the semaphore, so a
//    semaphore still at 0 after kSemTakeoverMs belongs to a dead holder. We
//    inherit its token (no decrement) and our normal sem_post returns the
//    value to 1. The value therefore never exceeds 1.
// Release order is sem_post, then the flock, so the next flock holder finds
// the semaphore free.
//
// The lock orders requests and keeps a load from meeting a store half-way;
// a request that goes on without it is still safe, because the load takes
// only a record a store could have written (cmd_change.cpp says why). That
// lets every wait be bounded, because a stop that cannot be sent is worse
// than one sent unordered:
//  - The lock file lives in world-writable /tmp. It is opened without
//    following symlinks and must be a regular file. When it cannot be used
//    (another user's file, a full /tmp, a symlink) we say so and fall back
//    to the semaphore alone. Without the flock a semaphore at 0 may belong
//    to a live request, so there is no take-over: after kSemTakeoverMs the
//    request goes on without the lock and does not post.
//  - flock has no time-out, so a stopped holder or another user's shared
//    flock would block us forever. The wait is cut by a timer after
//    kSemLockWaitMs; the request then goes on without either lock (taking
//    the semaphore would let a later flock holder take it over from us).
//  - Both objects are created with the mode asked for whatever the umask,
//    so that a first run as root leaves them usable by the web server.
//  - "sem_cgi" is a file in /dev/shm that any local user may replace or cut
//    short. One that cannot be opened, or whose file is shorter than a
//    semaphore (touching it would raise SIGBUS, which we catch around every
//    semaphore call), is left alone: we say so and go on with the flock
//    alone, which still orders live requests.
//  - Every wait is also cut to what is left of the request's time budget.
// The order of events is unchanged (open the semaphore, take the lock, use
// the file, release, close); only the waits have an end, and a request that
// went on without a lock releases nothing.

sem_t *sem = nullptr;

namespace {

int s_lock_fd = -1;
bool s_sem_held = false;
volatile sig_atomic_t s_lock_wait_expired = 0;
sigjmp_buf s_sem_fault;
volatile sig_atomic_t s_sem_guarded = 0;

[[noreturn]] void lock_failed() { end_process(1); }

void on_lock_wait_expired(int) { s_lock_wait_expired = 1; }

// SIGBUS inside a guarded semaphore call jumps back out of it; anywhere
// else it faults again with the default action, as it would without us.
void on_sem_fault(int signal_number) {
  if (s_sem_guarded) siglongjmp(s_sem_fault, 1);  // NOLINT(cert-err52-cpp)
  std::signal(signal_number, SIG_DFL);
}

// The result of a semaphore call, or -1 with errno EFAULT when its memory
// faulted. The handler runs with SA_NODEFER, so the jump leaves no signal
// blocked and needs no saved mask.
template <typename Call>
int guarded(Call call) {
  if (sigsetjmp(s_sem_fault, 0) != 0) {  // NOLINT(cert-err52-cpp)
    s_sem_guarded = 0;
    errno = EFAULT;
    return -1;
  }
  s_sem_guarded = 1;
  const int rc = call();
  s_sem_guarded = 0;
  return rc;
}

// After this the request goes on with the flock, if it holds one.
void semaphore_unusable() {
  std::fprintf(stderr, "ptz_cgi: semaphore %s: its file is shorter than a semaphore; %s\n",
               kSemName, s_lock_fd >= 0 ? "using the lock file alone" : "going on without a lock");
  s_sem_held = false;
}

// The lock file, or -1 when it cannot serve; *why then tells the reason.
int open_lock_file(const char **why) {
  // 0666 whatever the umask so that requests running under another user
  // share it; flock also works on a read-only descriptor.
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = open_shared(kSemLockPath, O_RDWR | O_CREAT | kFlags, 0666);
  const int err = errno;
  if (fd < 0 && err != ELOOP) fd = open(kSemLockPath, O_RDONLY | kFlags);
  if (fd < 0) {
    // Missing for the second try: the first one's reason counts.
    const int reason = errno == ENOENT ? err : errno;
    *why = reason == ELOOP ? "a symbolic link" : std::strerror(reason);
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    *why = "not a regular file";
    return -1;
  }
  return fd;
}

// Exclusive flock, waiting at most kSemLockWaitMs. False when it ran out.
bool flock_bounded(int fd) {
  s_lock_wait_expired = 0;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  if (errno != EWOULDBLOCK) return false;
  const int wait_ms = request_wait_ms(kSemLockWaitMs);
  if (wait_ms == 0) {
    s_lock_wait_expired = 1;
    return false;
  }
  // The timer's signal interrupts the blocking flock (no SA_RESTART). The
  // web server may have left SIGALRM blocked (the mask survives exec), so
  // it is unblocked for the wait and the mask put back afterwards.
  struct sigaction quiet {};
  struct sigaction saved {};
  quiet.sa_handler = on_lock_wait_expired;
  sigemptyset(&quiet.sa_mask);
  sigaction(SIGALRM, &quiet, &saved);
  sigset_t alarm_only;
  sigset_t saved_mask;
  sigemptyset(&alarm_only);
  sigaddset(&alarm_only, SIGALRM);
  sigprocmask(SIG_UNBLOCK, &alarm_only, &saved_mask);
  // It repeats, so that a signal landing just before flock blocks is
  // not the only one.
  itimerval timer{};
  timer.it_value.tv_sec = wait_ms / 1000;
  timer.it_value.tv_usec = static_cast<suseconds_t>(wait_ms % 1000) * 1000;
  timer.it_interval.tv_usec = 100000;
  setitimer(ITIMER_REAL, &timer, nullptr);
  int rc;
  while ((rc = flock(fd, LOCK_EX)) != 0 && errno == EINTR && !s_lock_wait_expired) {
  }
  const int err = errno;
  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigprocmask(SIG_SETMASK, &saved_mask, nullptr);
  sigaction(SIGALRM, &saved, nullptr);
  errno = err;
  return rc == 0;
}

timespec deadline_after_ms(int ms) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  ts.tv_sec += ms / 1000;
  ts.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (ts.tv_nsec >= 1000000000L) {
    ts.tv_sec += 1;
    ts.tv_nsec -= 1000000000L;
  }
  return ts;
}

}  // namespace

int sem_create_or_open() {
  struct sigaction on_fault {};
  on_fault.sa_handler = on_sem_fault;
  on_fault.sa_flags = SA_NODEFER;
  sigemptyset(&on_fault.sa_mask);
  sigaction(SIGBUS, &on_fault, nullptr);
  sem = sem_open(kSemName, 0);
  if (sem == SEM_FAILED && errno == ENOENT) {  // created as open_shared creates a file
    const mode_t mask = umask(0);
    sem = sem_open(kSemName, O_CREAT, 0777, 1);
    umask(mask);
  }
  if (sem != SEM_FAILED) return 0;
  sem = nullptr;
  std::fprintf(stderr, "sem_open: %s; using the lock file alone\n", std::strerror(errno));
  return -1;
}

int semaphore_p() {
  s_sem_held = false;
  const char *why = nullptr;
  s_lock_fd = open_lock_file(&why);
  if (s_lock_fd >= 0 && !flock_bounded(s_lock_fd)) {
    close(s_lock_fd);
    s_lock_fd = -1;
    if (s_lock_wait_expired) {
      std::fprintf(stderr,
                   "ptz_cgi: speed memory lock still held after %d ms; going on without it\n",
                   kSemLockWaitMs);
      return 0;
    }
    why = std::strerror(errno);
  }
  if (s_lock_fd < 0)
    std::fprintf(stderr, "ptz_cgi: lock file %s: %s; %s\n", kSemLockPath, why,
                 sem ? "using the semaphore alone" : "going on without a lock");
  if (!sem) return 0;

  const timespec deadline = deadline_after_ms(request_wait_ms(kSemTakeoverMs));
  while (guarded([&] { return sem_timedwait(sem, &deadline); }) != 0) {
    if (errno == EFAULT) {
      semaphore_unusable();
      return 0;
    }
    if (errno != ETIMEDOUT) lock_failed();
    if (s_lock_fd < 0) {
      std::fprintf(stderr,
                   "ptz_cgi: speed memory semaphore still taken after %d ms; going on without it\n",
                   kSemTakeoverMs);
      return 0;
    }
    std::fputs("ptz_cgi: taking over the speed memory lock of a dead request\n", stderr);
    break;
  }
  s_sem_held = true;
  return 0;
}

int semaphore_v() {
  int rc = s_sem_held ? guarded([] { return sem_post(sem); }) : 0;
  if (rc != 0 && errno == EFAULT) {
    semaphore_unusable();
    rc = 0;
  }
  s_sem_held = false;
  if (s_lock_fd >= 0) {
    close(s_lock_fd);  // drops the flock
    s_lock_fd = -1;
  }
  if (rc != 0) lock_failed();
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
