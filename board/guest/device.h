/* SPDX-License-Identifier: GPL-2.0 */
// An open device node and its ioctl calls, as a user-space program makes them.
#pragma once

#include <string>

namespace board {

struct IoctlResult {
  int rc;     // the system call's result
  int error;  // errno when rc is -1, else 0

  bool ok() const { return rc == 0; }
};

class Device {
 public:
  Device(const std::string& path, int flags);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  bool is_open() const { return fd_ >= 0; }
  int open_error() const { return open_error_; }

  IoctlResult ioctl(unsigned long cmd, void* arg) const;
  IoctlResult ioctl(unsigned long cmd, unsigned long arg) const;

 private:
  int fd_;
  int open_error_ = 0;
};

}  // namespace board
