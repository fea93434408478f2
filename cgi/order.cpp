// SPDX-License-Identifier: GPL-2.0
#include "order.h"

#include "process.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Why the newest command of each axis is the last one at the head.
//
// "Newer" is the order in which the web server started the requests. What
// this assumes of the web server: one process starts the CGI processes one
// after another in the order the requests reached it, as lighttpd does. The
// kernel then hands out their pids in that order, so a request's place is
// its pid, recorded by the kernel when it was started; no stamp our code
// takes can be (exec and the dynamic loader run first, for a time no one
// bounds). The pid counter wraps around: each request also keeps the
// monotonic time main started at (request_stamp_ns), and two requests whose
// starts lie more than kPidWindowNs apart are ordered by that time, which is
// wrong only for a start delayed that long. Within the window, a pid lower by
// more than kPidWrapGap has wrapped around and is the newer.
//
// A movement command is converted, checked and sent while its request holds
// an exclusive flock on kOrderPath, which records per axis (pan/tilt, home
// included; zoom) the place of the newest request whose command has gone
// out:
//  - a request older than that record does not send: a newer command of
//    its axis is at the head already, and sending the older one after it
//    would undo it. Its client still gets the answer line, and standard
//    error says "superseded";
//  - otherwise it records its place and sends before it drops the lock.
// So per axis the packets leave in the order the requests were started,
// whatever order the waiters get the flock in (flock promises none). Only
// the check and the send are under the lock; the replies are awaited after
// it, so exchanges overlap as before. A superseded move has already stored
// its speeds; a stop that repeats them still stops.
//
// Why a flock, polled: the kernel drops it when its holder dies, so a
// killed request never blocks the next. It is tried with LOCK_NB against a
// deadline on the monotonic clock (retry_for), so no signal or timer has to
// cut a blocking call and a clock set back stretches nothing.
//
// Why in cgi-bin/, mode 0600: a record that any local user could write, as
// a file in /tmp could be, would let them mark every command superseded and
// keep the head moving. cgi-bin/ is the web server's; the file root makes
// when run by hand goes to the folder's owner. It is never opened through a
// link and must be a regular file of one link, so that nothing planted
// there makes root write elsewhere.
//
// What is not promised: the order of requests that several processes of the
// web server start side by side, or that it starts out of order. lighttpd
// (1.4.69) does so with requests it finds waiting in one turn of its event
// loop (they came while it was busy): its job queue is last in, first out,
// so it starts the later one first, and nothing a CGI can read (pid, start
// time, any clock) tells which arrived first. A client that sends each
// command only after the previous answer, as the open control page does, is
// never reordered. A request that cannot have the
// flock in time (a holder stopped, not killed) goes on without it and still
// checks and records, so two such requests are ordered by their checks. A
// lock file that cannot be used leaves the commands unordered. Both say so.
// A record from before a reboot is ahead of the clock and counts as none; in
// the second in which this boot's uptime passes it, a request may still take
// it for a newer one.

namespace {

constexpr int kAxes = 2;
// Pids of requests started this close together cannot have wrapped around.
constexpr long long kPidWindowNs = 1000000000LL;
// Half the smallest pid space a kernel is built with (32768).
constexpr long long kPidWrapGap = 16384;
// The kernel's largest pid: anything else in a record is no pid (a record
// of an older version holds only times).
constexpr long long kPidMax = 4194304;
int s_fd = -1;
order_state s_state = order_state::unused;

// The axis a command packet drives: 0 pan/tilt (drive, home), 1 zoom, -1
// neither (an inquiry drives nothing).
int axis_of(const unsigned char *packet) {
  if (packet[1] != 0x01) return -1;
  switch (packet[2]) {
    case 0x06:
      return 0;
    case 0x04:
      return 1;
    default:
      return -1;
  }
}

// A request's place: when main started, and its pid.
struct place {
  long long stamp_ns;
  long long pid;
};

bool started_after(const place &a, const place &b) {
  const bool pids = a.pid > 0 && a.pid <= kPidMax && b.pid > 0 && b.pid <= kPidMax;
  if (!pids || a.stamp_ns - b.stamp_ns > kPidWindowNs || b.stamp_ns - a.stamp_ns > kPidWindowNs)
    return a.stamp_ns > b.stamp_ns;
  const long long gap = a.pid - b.pid;
  return gap > kPidWrapGap ? false : gap < -kPidWrapGap ? true : gap > 0;
}

void say(const char *why, const char *then) {
  std::fprintf(stderr, "ptz_cgi: lock file %s: %s; %s\n", kOrderPath, why, then);
}

// The lock file root has just made (nothing recorded yet) goes to the
// folder's owner, so that the web server's requests can use it.
void give_to_folder_owner(int fd, const struct stat &st) {
  struct stat folder {};
  if (st.st_size == 0 && st.st_uid == 0 && geteuid() == 0 && stat(kOrderFolder, &folder) == 0 &&
      folder.st_uid != 0 && fchown(fd, folder.st_uid, folder.st_gid) != 0)
    say(std::strerror(errno), "the web server's requests may not open it");
}

int open_order_file() {
  const int fd = open(kOrderPath, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) {
    say(errno == ELOOP ? "a symbolic link" : std::strerror(errno), "commands go out unordered");
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
    close(fd);
    say("not a regular file of one link", "commands go out unordered");
    return -1;
  }
  give_to_folder_owner(fd, st);
  return fd;
}

}  // namespace

void order_lock() {
  if (request_stamp_ns() == 0) return;
  s_fd = open_order_file();
  if (s_fd < 0) return;
  int err = 0;
  const bool in_time = retry_for(kOrderWaitMs, [&] {
    err = flock(s_fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    return err != EWOULDBLOCK;
  });
  s_state = err == 0 ? order_state::held : in_time ? order_state::unused : order_state::lost;
  if (err == 0) return;
  char why[32];
  std::snprintf(why, sizeof(why), "still held after %d ms", kOrderWaitMs);
  say(in_time ? std::strerror(err) : why, "going on without it");
}

order_state order_lock_state() { return s_state; }

bool order_admit(const unsigned char *packet) {
  const int axis = axis_of(packet);
  if (s_fd < 0 || axis < 0) return true;
  const place mine{request_stamp_ns(), getpid()};
  // Per axis its newest place; a shorter file: no newer command there.
  std::array<place, kAxes> record{};
  if (pread(s_fd, record.data(), sizeof(record), 0) < 0)
    say(std::strerror(errno), "commands may go out unordered");
  const place newest = record[static_cast<std::size_t>(axis)];
  if (newest.stamp_ns / 1000000 <= monotonic_ms() && started_after(newest, mine)) {
    std::fputs("ptz_cgi: superseded by a newer command; not sent\n", stderr);
    return false;
  }
  const auto at = static_cast<off_t>(sizeof(mine) * static_cast<unsigned>(axis));
  if (pwrite(s_fd, &mine, sizeof(mine), at) != static_cast<ssize_t>(sizeof(mine)))
    say(std::strerror(errno), "commands may go out unordered");
  return true;
}

void order_unlock() {
  if (s_fd >= 0) close(s_fd);  // drops the flock
  s_fd = -1;
  s_state = order_state::unused;
}
