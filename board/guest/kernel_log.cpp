// SPDX-License-Identifier: GPL-2.0
#include "kernel_log.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace board {

KernelLog::KernelLog(Start start) : fd_(::open("/dev/kmsg", O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
  if (fd_ >= 0 && start == kFromNow) ::lseek(fd_, 0, SEEK_END);
}

KernelLog::~KernelLog() {
  if (fd_ >= 0) ::close(fd_);
}

std::vector<std::string> KernelLog::take() {
  std::vector<std::string> lines;
  if (fd_ < 0) return lines;
  // One record per read: "prio,seq,usec,flags;text\n" plus continuation lines.
  char record[8192];
  for (;;) {
    ssize_t n = ::read(fd_, record, sizeof(record) - 1);
    if (n < 0) {
      if (errno == EPIPE)  // overwritten records: go on with the next
        continue;
      break;
    }
    std::string_view r(record, static_cast<std::size_t>(n));
    auto semi = r.find(';');
    if (semi == std::string_view::npos) continue;
    auto text = r.substr(semi + 1);
    auto end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
  }
  return lines;
}

int KernelLog::count(std::string_view needle) {
  int n = 0;
  for (const auto& line : take())
    if (line.find(needle) != std::string::npos) ++n;
  return n;
}

}  // namespace board
