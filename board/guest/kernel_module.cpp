// SPDX-License-Identifier: GPL-2.0
#include "kernel_module.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace board {

int load_module(const std::string& path, const std::string& params) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int rc = static_cast<int>(::syscall(SYS_finit_module, fd, params.c_str(), 0));
  int err = rc == 0 ? 0 : errno;
  ::close(fd);
  return err;
}

int unload_module(const std::string& name) {
  return ::syscall(SYS_delete_module, name.c_str(), O_NONBLOCK) == 0 ? 0 : errno;
}

}  // namespace board
