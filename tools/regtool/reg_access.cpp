// SPDX-License-Identifier: GPL-2.0
#include "reg_access.h"

#include <algorithm>

namespace regtool {
namespace {

// Runs fn(block_first, block_count, offset) over the range in device-sized
// blocks; stops at the first failed call.
template <typename Fn>
std::optional<CallError> in_blocks(unsigned first, unsigned count, Fn fn) {
  for (unsigned done = 0; done < count;) {
    const unsigned n = std::min<unsigned>(count - done, GPIOI2C_DATA_LEN);
    if (int error = fn(first + done, n, done)) return CallError{error, first + done, n};
    done += n;
  }
  return std::nullopt;
}

gpioi2c_block make_block(unsigned first, unsigned count) {
  gpioi2c_block block{};
  block.start_reg = static_cast<uint8_t>(first);
  block.count = static_cast<uint8_t>(count);
  return block;
}

}  // namespace

std::optional<CallError> read_registers(RegDevice& dev, unsigned first, unsigned count,
                                        uint8_t fill, std::vector<uint8_t>& values) {
  values.assign(count, fill);
  return in_blocks(first, count, [&](unsigned reg, unsigned n, unsigned offset) {
    gpioi2c_block block = make_block(reg, n);
    std::fill(std::begin(block.data), std::end(block.data), fill);
    if (int error = dev.ioctl(GPIOI2C_CMD_READ, &block)) return error;
    std::copy_n(block.data, n, values.begin() + offset);
    return 0;
  });
}

std::optional<CallError> write_registers(RegDevice& dev, unsigned first,
                                         const std::vector<uint8_t>& values) {
  const auto count = static_cast<unsigned>(values.size());
  return in_blocks(first, count, [&](unsigned reg, unsigned n, unsigned offset) {
    gpioi2c_block block = make_block(reg, n);
    std::copy_n(values.begin() + offset, n, block.data);
    return dev.ioctl(GPIOI2C_CMD_WRITE, &block);
  });
}

std::optional<CallError> read_checked(RegDevice& dev, unsigned first, unsigned count,
                                      CheckedRead& out) {
  std::vector<uint8_t> high;
  if (auto failed = read_registers(dev, first, count, 0x00, out.values)) return failed;
  if (auto failed = read_registers(dev, first, count, 0xff, high)) return failed;
  out.answered.assign(count, true);
  for (unsigned k = 0; k < count; ++k) {
    // A register that answered neither time reads as the fill both times.
    const bool silent = out.values[k] == 0x00 && high[k] == 0xff;
    out.answered[k] = !silent;
    // A first 0x00 may be the fill of a register that answered only the
    // second time.
    if (!silent && out.values[k] == 0x00) out.values[k] = high[k];
  }
  return std::nullopt;
}

}  // namespace regtool
