// SPDX-License-Identifier: GPL-2.0
#include "device.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace board {

Device::Device(const std::string& path, int flags) : fd_(::open(path.c_str(), flags | O_CLOEXEC)) {
  if (fd_ < 0) open_error_ = errno;
}

Device::~Device() {
  if (fd_ >= 0) ::close(fd_);
}

IoctlResult Device::ioctl(unsigned long cmd, void* arg) const {
  errno = 0;
  int rc = ::ioctl(fd_, cmd, arg);
  return {rc, rc == -1 ? errno : 0};
}

IoctlResult Device::ioctl(unsigned long cmd, unsigned long arg) const {
  return ioctl(cmd, reinterpret_cast<void*>(arg));
}

}  // namespace board
