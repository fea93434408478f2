// SPDX-License-Identifier: GPL-2.0
#include "cmd_change.h"

#include "process.h"
#include "semaphore.h"
#include "shared_file.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kCmdSize = 50;
constexpr std::size_t kArgSize = 16;

char cmd[kCmdSize];
char visca_cmd[kArgSize];
const char *dest_cmd = nullptr;

constexpr const char kPanTiltDrive[] = "81010601";
constexpr const char kZoom[] = "81010407";
constexpr const char kZoomStop[] = "8101040700";
constexpr const char kHome[] = "81010604";
constexpr const char kInvalid[] = "00000000";
constexpr const char kStopDirection[] = "0303";
constexpr const char kLowestSpeeds[] = "0101";  // pan and tilt speed 1

// Direction texts of the pan/tilt drive classes 0..7.
constexpr std::array<const char *, 8> kDirection = {
    "0201", "0203", "0202", "0302", "0102", "0103", "0101", "0301",
};

// The speed formulas are part of the camera protocol as deployed: keep the
// double-precision arithmetic and truncation exactly.
int pan_speed(int distance) { return static_cast<int>(distance * 0.35 + 0.65); }
int tilt_speed(int distance) { return static_cast<int>(distance * 0.27 + 0.73); }
int zoom_speed(int distance) { return static_cast<int>(distance * 0.146 + 0.854); }

// Appends src to dst (capacity cap, NUL-terminated), truncating.
void append(char *dst, std::size_t cap, const char *src) {
  std::size_t len = std::strlen(dst);
  while (*src != '\0' && len + 1 < cap) dst[len++] = *src++;
  dst[len] = '\0';
}

int speed_word(int cls, int pp, int tt) {
  const int dp = std::abs(pp - 50);
  const int dt = std::abs(tt - 50);
  switch (cls) {
    case kClassRight:
    case kClassLeft:
      return pan_speed(dp) * 100 + 10;
    case kClassDown:
    case kClassUp:
      return 1000 + tilt_speed(dt);
    default:
      return pan_speed(dp) * 100 + tilt_speed(dt);
  }
}

}  // namespace

int int_to_str(int value, char *out, int width) {
  char digits[kIntTextSize];
  int n = 0;
  unsigned int u = value < 0 ? 0u : static_cast<unsigned int>(value);
  do {
    digits[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (width > kIntTextSize - 1) width = kIntTextSize - 1;
  int len = 0;
  for (int pad = width - n; pad > 0; --pad) out[len++] = '0';
  while (n > 0) out[len++] = digits[--n];
  out[len] = '\0';
  return len;
}

const char *visca_pack_cmd(const char *prefix, int value, const char *text, const char *suffix,
                           int use_value, int width) {
  cmd[0] = '\0';
  if (prefix) append(cmd, sizeof(cmd), prefix);
  if (use_value) {
    char digits[kIntTextSize];
    int_to_str(value, digits, width);
    append(cmd, sizeof(cmd), digits);
  } else if (text) {
    append(cmd, sizeof(cmd), text);
  }
  if (suffix) append(cmd, sizeof(cmd), suffix);
  return cmd;
}

int judge_orientation(int v) {
  if (v == 5050) return kClassStop;
  const int tt = v % 100;
  if (v >= 5100 && v <= 9999) {
    if (tt >= 51) return kClassUpRight;
    if (tt == 50) return kClassRight;
    if (tt >= 1) return kClassDownRight;
    return kClassInvalid;
  }
  if (v >= 5000 && v <= 5099) {
    if (tt >= 1 && tt <= 49) return kClassDown;
    if (tt >= 51) return kClassUp;
    return kClassInvalid;
  }
  if (v >= 100 && v <= 4999) {
    if (tt >= 51) return kClassUpLeft;
    if (tt == 50) return kClassLeft;
    if (tt >= 1) return kClassDownLeft;
    return kClassInvalid;
  }
  if (v >= 51 && v <= 99) return kClassZoomTele;
  if (v >= 1 && v <= 49) return kClassZoomWide;
  if (v == 50) return kClassZoomStop;
  return kClassInvalid;
}

const char *zoom_conversion(int distance, const char *digit) {
  std::memset(visca_cmd, 0, sizeof(visca_cmd));
  append(visca_cmd, sizeof(visca_cmd), digit);
  char speed[kIntTextSize];
  int_to_str(zoom_speed(distance), speed, 1);
  append(visca_cmd, sizeof(visca_cmd), speed);
  return visca_cmd;
}

const char *control_cmd_change(const char *text, int count, int position) {
  char arg[kArgSize] = {};
  const std::size_t start = strnlen(text, static_cast<std::size_t>(position));
  std::strncpy(arg, text + start, std::min(static_cast<std::size_t>(count), sizeof(arg) - 1));
  // Text that is no number is speed 0, an invalid class: no error to report.
  const int v = std::atoi(arg);  // NOLINT(cert-err34-c)
  const int cls = judge_orientation(v);

  if (cls >= kClassUpRight && cls <= kClassUp) {
    const int s = speed_word(cls, v / 100, v % 100);
    dest_cmd = visca_pack_cmd(kPanTiltDrive, s, nullptr, kDirection[cls], 1, 4);
    VV_WW_from_or_to_file(s, 1, nullptr, 4);
    return dest_cmd;
  }
  switch (cls) {
    case kClassStop: {
      // A drive without its two speed bytes is a syntax error to the head,
      // which then keeps moving: with no speeds stored, the lowest go out.
      char stored[kArgSize] = {};
      VV_WW_from_or_to_file(0, 0, stored, 4);
      dest_cmd = visca_pack_cmd(kPanTiltDrive, 0, stored[0] ? stored : kLowestSpeeds,
                                kStopDirection, 0, 0);
      break;
    }
    case kClassZoomTele:
      dest_cmd = visca_pack_cmd(kZoom, 0, zoom_conversion(v - 50, "2"), nullptr, 0, 0);
      break;
    case kClassZoomWide:
      dest_cmd = visca_pack_cmd(kZoom, 0, zoom_conversion(50 - v, "3"), nullptr, 0, 0);
      break;
    case kClassZoomStop:
      dest_cmd = kZoomStop;
      break;
    default:
      dest_cmd = kInvalid;
      break;
  }
  return dest_cmd;
}

const char *ctrlcmd_to_viscacmd(const char *command, int selector) {
  switch (selector) {
    case kSelectZoom:
      return control_cmd_change(command, 2, 1);
    case kSelectPanTilt:
      return control_cmd_change(command, 4, 3);
    case kSelectHome:
      return kHome;
    default:
      return nullptr;
  }
}

// How the speed memory is stored, and why that is safe.
//
// A store writes the four characters over the start of the file, in place,
// with one write at offset 0, and then cuts a longer file to four. It never
// empties the file first, and it makes no other file:
//  - Under the lock a load finds the old record or the new one. Killed at
//    any instant, a store leaves one of them: a write of four bytes within
//    one page is copied whole or not at all, and before the cut the new
//    record is only followed by old bytes that no load reads.
//  - A write that fails (a full disk, a file-size limit) has written
//    nothing, so the old record stays. Only a limit of one to three bytes
//    could cut it short, and that takes setrlimit: ulimit counts 512-byte
//    blocks. The store then fails all the same.
//  - The file keeps its owner, its mode and its links whoever stores it,
//    its folder need not be writable, and nothing is left behind.
//  - A request that went on without the lock might, in the instant of a
//    store's copy, read a mix of two records. So a load takes only a record
//    a store could have written (pan speed 1 to 17, tilt speed 1 to 13): a
//    stop made from such a mix still carries valid speeds, and stops.
// Only a regular file of one link counts, reached directly or through a
// symlink of our own user or root: anything else at the record's place (a
// FIFO would block the load; a link the web server's user planted in its
// cgi-bin/ would make root write through it) is unusable for a load and
// replaced by a store. The first store creates the file with mode 0777
// whatever the umask, as the semaphore is (open_shared).

namespace {

constexpr std::size_t kSpeedWordWidth = 4;

// The target of the link at `path`, opened without following another link.
// Followed only when the link is our user's or root's: the kernel's
// protected_symlinks rule, which cgi-bin/ (not sticky) does not get. The
// target is read from the descriptor whose owner was checked.
int open_through_link(const char *path, int flags, unsigned mode) {
  const int link = ::open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  std::array<char, PATH_MAX> target{};
  ssize_t n = -1;
  if (link >= 0 && fstat(link, &st) == 0 && (st.st_uid == geteuid() || st.st_uid == 0))
    n = readlinkat(link, "", target.data(), target.size() - 1);
  if (link >= 0) ::close(link);
  if (n <= 0) {
    errno = EINVAL;
    return -1;
  }
  // A relative target counts from the link's folder.
  std::array<char, PATH_MAX> full{};
  const int folder = target[0] == '/' ? 0 : static_cast<int>(std::strrchr(path, '/') - path + 1);
  if (std::snprintf(full.data(), full.size(), "%.*s%s", folder, path, target.data()) >=
      static_cast<int>(full.size())) {
    errno = ENAMETOOLONG;
    return -1;
  }
  return open_shared(full.data(), flags, mode);
}

// A descriptor of a regular file of one link, its size in *size; anything
// else is refused with EINVAL.
int open_regular(const char *path, int flags, unsigned mode, off_t *size) {
  flags |= O_NONBLOCK | O_NOFOLLOW;
  int fd = open_shared(path, flags, mode);
  if (fd < 0 && errno == ELOOP) fd = open_through_link(path, flags, mode);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  *size = st.st_size;
  return fd;
}

class system_speed_memory final : public speed_memory_io {
 public:
  void lock() override {
    sem_create_or_open();
    semaphore_p();
  }
  int unlock() override {
    semaphore_v();
    return close_sem();
  }
  int open(const char *path, int flags, unsigned mode) override {
    const int fd = open_regular(path, flags, mode, &size_);
    if (fd < 0 && errno == EINVAL && (flags & O_CREAT) && unlink(path) == 0)
      return open_regular(path, flags, mode, &size_);
    return fd;
  }
  long read(int fd, char *buffer, std::size_t size) override { return ::read(fd, buffer, size); }
  long write(int fd, const char *text, std::size_t length) override {
    return ::write(fd, text, length);
  }
  void trim(int fd, std::size_t length) override {
    if (size_ > static_cast<off_t>(length) && ftruncate(fd, static_cast<off_t>(length)) != 0) {
      // The bytes past the end stay: no load reads them, and the next store cuts them.
    }
  }
  void close(int fd) override { ::close(fd); }

 private:
  off_t size_ = 0;  // of the file last opened
};

system_speed_memory s_system_io;
speed_memory_io *s_io = &s_system_io;

// Store failures end the process, but never with the lock held.
[[noreturn]] void store_failed(int fd) {
  std::perror("write");
  if (fd >= 0) s_io->close(fd);
  s_io->unlock();
  end_process(1);
}

int two_digits(const char *text) { return (text[0] - '0') * 10 + (text[1] - '0'); }

// Four digits, each pair a speed that a movement can have.
bool speed_word(const char *text, std::size_t n) {
  if (n != kSpeedWordWidth ||
      !std::all_of(text, text + n, [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const int pan = two_digits(text);
  const int tilt = two_digits(text + 2);
  return pan >= 1 && pan <= pan_speed(49) && tilt >= 1 && tilt <= tilt_speed(49);
}

}  // namespace

void set_speed_memory_io(speed_memory_io *io) { s_io = io ? io : &s_system_io; }

int VV_WW_from_or_to_file(int value, int flag, char *buffer, int width) {
  s_io->lock();
  const auto size = static_cast<std::size_t>(width);
  if (flag) {
    const int fd = s_io->open(kSpeedMemoryPath, O_RDWR | O_CREAT | O_CLOEXEC, 0777);
    if (fd < 0) store_failed(fd);
    char text[kIntTextSize] = {};
    const int len = int_to_str(value, text, width);
    const long written = s_io->write(fd, text, static_cast<std::size_t>(len));
    if (written != len) {
      if (written >= 0) errno = ENOSPC;  // a short write to a file: no room left
      store_failed(fd);
    }
    s_io->trim(fd, static_cast<std::size_t>(len));
    s_io->close(fd);
    return s_io->unlock();
  }
  const char *why = "not a speed word";
  const int fd = s_io->open(kSpeedMemoryPath, O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) {
    why = std::strerror(errno);
  } else if (size < kIntTextSize) {
    char record[kIntTextSize] = {};
    std::size_t got = 0;
    long n;
    while (got < size && (n = s_io->read(fd, record + got, size - got)) > 0)
      got += static_cast<std::size_t>(n);
    if (got == size && speed_word(record, size)) {
      std::memcpy(buffer, record, size);
      why = nullptr;
    }
  }
  if (fd >= 0) s_io->close(fd);
  const int rc = s_io->unlock();
  if (why)
    std::fprintf(stderr, "ptz_cgi: speed memory %s: %s; the stop goes out at the lowest speeds\n",
                 kSpeedMemoryPath, why);
  return rc;
}
