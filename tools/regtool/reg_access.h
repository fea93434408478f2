/* SPDX-License-Identifier: GPL-2.0 */
// Register ranges of any length on top of the device's 88-register blocks.
//
// The device cannot say whether the slave answered: a read of a register the
// slave did not acknowledge returns whatever the caller left in the block,
// and a refused write is only logged by the kernel. read_checked() tells
// answered registers from unanswered ones by reading twice with different
// fills.
#ifndef TOOLS_REGTOOL_REG_ACCESS_H
#define TOOLS_REGTOOL_REG_ACCESS_H

#include <linux/rjgt102_i2c.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "device.h"

namespace regtool {

// /dev/rjgt102_i2c: one ioctl with one block.
using RegDevice = devtools::Device<gpioi2c_block>;

constexpr unsigned kRegisters = 256;

// The call that failed: its registers and errno.
struct CallError {
  int error;
  unsigned first;
  unsigned count;
};

// Reads count registers from first (first + count <= 256) into values, the
// block's data area filled with fill before each call.
std::optional<CallError> read_registers(RegDevice& dev, unsigned first, unsigned count,
                                        uint8_t fill, std::vector<uint8_t>& values);

// Writes values to first, first + 1, ... (first + size <= 256).
std::optional<CallError> write_registers(RegDevice& dev, unsigned first,
                                         const std::vector<uint8_t>& values);

struct CheckedRead {
  std::vector<uint8_t> values;
  std::vector<bool> answered;
};

// Reads the range with fill 0x00 and again with 0xff: a register that comes
// back as the fill both times did not answer. One that answered keeps the
// first reading.
std::optional<CallError> read_checked(RegDevice& dev, unsigned first, unsigned count,
                                      CheckedRead& out);

}  // namespace regtool

#endif
