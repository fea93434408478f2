/* SPDX-License-Identifier: GPL-2.0 */
// Reads the kernel log records that appear after a point in time, through
// /dev/kmsg, so a check can look for the messages an action caused.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace board {

class KernelLog {
 public:
  enum Start { kFromNow, kFromStart };

  // From now on, or from the oldest record the kernel still holds.
  explicit KernelLog(Start start = kFromNow);
  ~KernelLog();
  KernelLog(const KernelLog&) = delete;
  KernelLog& operator=(const KernelLog&) = delete;

  // Message texts logged since construction or the previous call.
  std::vector<std::string> take();
  // Drops what was logged so far.
  void skip() { take(); }

  // Takes the new messages and counts those that contain needle.
  int count(std::string_view needle);

 private:
  int fd_;
};

}  // namespace board
