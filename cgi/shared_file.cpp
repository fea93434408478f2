// SPDX-License-Identifier: GPL-2.0
#include "shared_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

int open_shared(const char *path, int flags, mode_t mode) {
  const int fd = open(path, flags & ~O_CREAT, mode);
  if (fd >= 0 || errno != ENOENT || !(flags & O_CREAT)) return fd;
  const mode_t mask = umask(0);
  const int created = open(path, flags, mode);
  umask(mask);
  return created;
}
