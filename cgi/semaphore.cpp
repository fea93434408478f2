#include "semaphore.h"

#include "process.h"

#include <cerrno>
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
// The lock only orders requests; it is not what keeps a record whole. A
// store replaces the file by rename and a load refuses anything but four
// digits, so a request that goes on without the lock reads the old record,
// the new one or none, never a torn one. That lets every wait be bounded,
// because a stop that cannot be sent is worse than one sent unordered:
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
// The order of events is unchanged (open the semaphore, take the lock, use
// the file, release, close); only the waits have an end, and a request that
// went on without a lock releases nothing.

sem_t *sem = nullptr;

namespace {

int s_lock_fd = -1;
bool s_sem_held = false;
volatile sig_atomic_t s_lock_wait_expired = 0;

[[noreturn]] void lock_failed() { end_process(1); }

void on_lock_wait_expired(int) { s_lock_wait_expired = 1; }

// The lock file, or -1 when it cannot serve; *why then tells the reason.
int open_lock_file(const char **why) {
  // 0666 whatever the umask so that requests running under another user
  // share it; flock also works on a read-only descriptor.
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  const mode_t mask = umask(0);
  int fd = open(kSemLockPath, O_RDWR | O_CREAT | kFlags, 0666);
  umask(mask);
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
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  if (errno != EWOULDBLOCK) return false;
  // The timer's signal interrupts the blocking flock (no SA_RESTART).
  struct sigaction quiet {};
  struct sigaction saved {};
  quiet.sa_handler = on_lock_wait_expired;
  sigemptyset(&quiet.sa_mask);
  sigaction(SIGALRM, &quiet, &saved);
  s_lock_wait_expired = 0;
  // It repeats, so that a signal landing just before flock blocks is
  // not the only one.
  itimerval timer{};
  timer.it_value.tv_sec = kSemLockWaitMs / 1000;
  timer.it_value.tv_usec = static_cast<suseconds_t>(kSemLockWaitMs % 1000) * 1000;
  timer.it_interval.tv_usec = 100000;
  setitimer(ITIMER_REAL, &timer, nullptr);
  int rc;
  while ((rc = flock(fd, LOCK_EX)) != 0 && errno == EINTR && !s_lock_wait_expired) {
  }
  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &saved, nullptr);
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
  const mode_t mask = umask(0);
  sem = sem_open(kSemName, O_CREAT, 0777, 1);
  umask(mask);
  if (sem == SEM_FAILED) {
    sem = nullptr;
    std::perror("sem_open");
    lock_failed();
  }
  return 0;
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
    std::fprintf(stderr, "ptz_cgi: lock file %s: %s; using the semaphore alone\n", kSemLockPath,
                 why);

  const timespec deadline = deadline_after_ms(kSemTakeoverMs);
  while (sem_timedwait(sem, &deadline) != 0) {
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
  const int rc = s_sem_held ? sem_post(sem) : 0;
  s_sem_held = false;
  if (s_lock_fd >= 0) {
    close(s_lock_fd);  // drops the flock
    s_lock_fd = -1;
  }
  if (rc != 0) lock_failed();
  return 0;
}

int close_sem() {
  const int rc = sem_close(sem);
  sem = nullptr;
  return rc;
}

int del_semvalue() {
  const int rc = sem_unlink(kSemName);
  if (rc != 0) std::perror("sem_unlink");
  return rc;
}
