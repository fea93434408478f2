// SPDX-License-Identifier: GPL-2.0
#include "device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace devtools {

DeviceFile::DeviceFile(const std::string& path, int flags)
    : fd_(::open(path.c_str(), flags | O_CLOEXEC)) {
  if (fd_ < 0) error_ = errno;
}

DeviceFile::~DeviceFile() {
  if (fd_ >= 0) ::close(fd_);
}

DeviceFile::DeviceFile(DeviceFile&& other) noexcept : fd_(other.fd_), error_(other.error_) {
  other.fd_ = -1;
}

int DeviceFile::ioctl(unsigned long cmd, void* arg) const {
  return ::ioctl(fd_, cmd, arg) < 0 ? errno : 0;
}

}  // namespace devtools
