// SPDX-License-Identifier: GPL-2.0
// gpio_i2c's ioctl entry point on the bench: random commands, blocks and
// user pointers against the slave model, several calls per input. Beyond the
// sanitizers it checks that every call keeps the kernel's rules (locks,
// interrupts, no user copy in atomic context), answers with one of its three
// results, and that a good call to an acknowledging slave reads or writes
// exactly the registers it names.
//
// Input: slave mode (acknowledging, refusing one stage, absent), for a
// refusing slave a byte whose top bit limits it to the register in the next
// byte; then up to two calls, each a command byte (4: a raw command word
// follows; 0xf0..0xf3: the count is not cut to 0..3), the
// 90-byte block and a user pointer (see user_pointer.h).

#include <linux/errno.h>
#include <linux/rjgt102_i2c.h>

#include <cstring>
#include <memory>
#include <vector>

#include "i2c_slave.h"
#include "kbench.h"
#include "invariant.h"
#include "reader.h"
#include "user_pointer.h"

namespace {

using fuzz::check;

constexpr unsigned kScl = 12;
constexpr unsigned kSda = 13;

uint8_t pattern(int r) { return uint8_t(r * 7 + 0x31); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  kb::reset();

  // Present and acknowledging everything, refusing one stage, or absent.
  const unsigned slave_mode = in.below(6);
  std::unique_ptr<kb::models::I2cSlave> slave;
  if (slave_mode < 5) {
    slave = std::make_unique<kb::models::I2cSlave>(kScl, kSda, 0x68);
    for (int r = 0; r < 256; ++r) slave->reg(uint8_t(r)) = pattern(r);
    if (slave_mode > 0) {
      const auto stage = static_cast<kb::models::I2cSlave::Stage>(slave_mode - 1);
      std::optional<uint8_t> reg;
      if (in.byte() & 0x80) reg = in.byte();
      slave->refuse(stage, reg);
    }
  }
  check(kb::load("gpio_i2c") == 0, "module load");

  for (int call = 0; call < 2 && !in.empty(); ++call) {
    unsigned cmd;
    const uint8_t kind = in.byte();
    switch (kind % 5) {
      case 0:
      case 1:
        cmd = GPIOI2C_CMD_READ;
        break;
      case 2:
      case 3:
        cmd = GPIOI2C_CMD_WRITE;
        break;
      default:
        cmd = in.u32();
        break;
    }
    std::vector<uint8_t> bytes = in.bytes(GPIOI2C_BLOCK_SIZE);
    bytes.resize(GPIOI2C_BLOCK_SIZE);
    // Each register costs the bench a whole bit-banged transaction, so most
    // calls name up to three (enough to wrap past register 0xff); a command
    // byte 0xf0..0xf3 (read or write) takes the count as it comes (up to
    // 255, past the data area).
    if ((kind & 0xFC) != 0xF0) bytes[GPIOI2C_BLOCK_SIZE - 1] %= 4;
    gpioi2c_block block;
    std::memcpy(&block, bytes.data(), sizeof(block));
    const fuzz::UserPointer p = fuzz::user_pointer(in, bytes);

    std::vector<uint8_t> before(256);
    if (slave) {
      for (int r = 0; r < 256; ++r) before[r] = slave->reg(uint8_t(r));
      slave->clear_tokens();
    }

    long ret;
    {
      kb::MiscFile f("rjgt102_i2c");
      check(f.ok(), "open");
      ret = f.ioctl(cmd, p.addr);
    }

    check(kb::violations().empty(), "kernel rule broken");
    check(kb::locks_held() == 0, "lock held after the call");
    check(kb::irqs_enabled(), "interrupts left off");
    const bool known = cmd == GPIOI2C_CMD_READ || cmd == GPIOI2C_CMD_WRITE;
    if (!known) {
      check(ret == -EPERM, "unknown command not refused");
    } else if (!p.readable) {
      check(ret == -EFAULT, "unreadable block not refused");
    } else if (cmd == GPIOI2C_CMD_READ && !p.writable) {
      check(ret == -EFAULT, "unwritable block not refused");
    } else {
      check(ret == 0, "good call failed");
    }
    const bool bus_used = known && p.readable;
    if (slave && !bus_used) check(slave->tokens().empty(), "bus used by a refused call");

    // An acknowledging slave and a good block: exactly the named registers.
    if (slave_mode != 0 || !bus_used || (cmd == GPIOI2C_CMD_READ && !p.writable)) continue;
    const unsigned count = block.count < GPIOI2C_DATA_LEN ? block.count : GPIOI2C_DATA_LEN;
    if (cmd == GPIOI2C_CMD_READ) {
      gpioi2c_block out;
      const std::vector<uint8_t> got = kb::user::read(p.addr, sizeof(out));
      std::memcpy(&out, got.data(), sizeof(out));
      check(out.start_reg == block.start_reg && out.count == block.count, "header changed");
      for (unsigned k = 0; k < GPIOI2C_DATA_LEN; ++k) {
        const uint8_t want = k < count ? before[uint8_t(block.start_reg + k)] : block.data[k];
        check(out.data[k] == want, "read data");
      }
      for (int r = 0; r < 256; ++r) check(slave->reg(uint8_t(r)) == before[r], "read wrote");
    } else {
      std::vector<uint8_t> want = before;
      for (unsigned k = 0; k < count; ++k) want[uint8_t(block.start_reg + k)] = block.data[k];
      for (int r = 0; r < 256; ++r) check(slave->reg(uint8_t(r)) == want[r], "written registers");
    }
  }
  kb::unload("gpio_i2c");
  check(kb::violations().empty(), "kernel rule broken at unload");
  check(kb::mem::live() == 0, "driver memory left allocated");
  return 0;
}
