/* SPDX-License-Identifier: GPL-2.0 */
// RegDevice routed to gpio_i2c running in the kernel bench: each transfer
// puts the block in the bench's user memory and calls the driver's ioctl
// through its misc device, as the system call would.
#ifndef TOOLS_REGTOOL_TEST_BENCH_REG_DEVICE_H
#define TOOLS_REGTOOL_TEST_BENCH_REG_DEVICE_H

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kbench.h"
#include "reg_access.h"

namespace regtool_test {

struct Call {
  unsigned cmd;
  unsigned start;
  unsigned count;
};

// What the bench devices of one test did and should do.
struct BenchLog {
  std::vector<Call> calls;
  std::vector<std::string> opened;
  // The nth transfer (1 = first) faults from this byte of the block on.
  unsigned fault_call = 0;
  size_t fault_offset = 0;
};

class BenchRegDevice : public regtool::RegDevice {
 public:
  BenchRegDevice(std::string_view misc_name, BenchLog& log) : file_(misc_name), log_(log) {}
  bool ok() const { return file_.ok(); }

  int ioctl(unsigned cmd, gpioi2c_block* record) override {
    gpioi2c_block& block = *record;
    std::vector<uint8_t> bytes(sizeof(block));
    std::memcpy(bytes.data(), &block, sizeof(block));
    const uintptr_t addr = kb::user::map(bytes);
    log_.calls.push_back({cmd, block.start_reg, block.count});
    if (log_.calls.size() == log_.fault_call) kb::user::fault_from(addr, log_.fault_offset);
    const long ret = file_.ioctl(cmd, addr);
    bytes = kb::user::read(addr, sizeof(block));
    std::memcpy(&block, bytes.data(), sizeof(block));
    kb::user::unmap(addr);
    // A negative result reaches user space as errno; -1 is EPERM.
    return ret < 0 ? static_cast<int>(-ret) : 0;
  }

 private:
  kb::MiscFile file_;
  BenchLog& log_;
};

// Opens "/dev/NAME" as the misc device NAME; a device that is not registered
// has no node, as with devtmpfs.
inline std::unique_ptr<regtool::RegDevice> open_bench(const std::string& path, int& error,
                                                      BenchLog& log) {
  log.opened.push_back(path);
  const std::string prefix = "/dev/";
  if (path.compare(0, prefix.size(), prefix) != 0) {
    error = ENOENT;
    return nullptr;
  }
  auto dev = std::make_unique<BenchRegDevice>(path.substr(prefix.size()), log);
  if (!dev->ok()) {
    error = ENOENT;
    return nullptr;
  }
  return dev;
}

}  // namespace regtool_test

#endif
