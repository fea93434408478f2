// SPDX-License-Identifier: GPL-2.0
// gpio_i2c as user space and the slave see it: loading, the register device,
// the bytes and conditions on the wire, timing, and failures.
#include <linux/gpio.h>
#include <linux/miscdevice.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "gpio_i2c_fixture.h"

namespace gpio_i2c_test {
namespace {

using Device = GpioI2cBench;
using Stage = kb::models::I2cSlave::Stage;

constexpr uint64_t kUs = 1000;
constexpr uint64_t kReadUs = 386;
constexpr uint64_t kWriteUs = 360;
constexpr uint8_t kFill = 0xEE;

// The slave's initial contents (see the fixture).
uint8_t initial(uint8_t reg) { return uint8_t(reg ^ 0x5A); }

std::string hex(uint8_t v) {
  char s[3];
  std::snprintf(s, sizeof(s), "%02X", v);
  return s;
}

// The wire of one fully acknowledged register access.
std::string read_wire(uint8_t reg) {
  return "S D0+ " + hex(reg) + "+ Sr D1+ " + hex(initial(reg)) + "- P";
}
std::string write_wire(uint8_t reg, uint8_t value) {
  return "S D0+ " + hex(reg) + "+ " + hex(value) + "+ P";
}
std::string join(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : " ") + p;
  return out;
}

TEST_F(Device, ModuleInformation) {
  const kb::ModuleInfo* info = kb::module_info(kModule);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->tag("license"), "GPL");
  EXPECT_EQ(info->tag("description"), "quorvane");
  EXPECT_TRUE(info->params.empty());
}

TEST_F(Device, LoadingClaimsTheIdleBusAndUnloadingLeavesIt) {
  std::vector<unsigned> configured;
  kb::gpio::add_listener([&](unsigned gpio, kb::gpio::Source s) {
    if (s == kb::gpio::Source::Soc) configured.push_back(gpio);
  });
  load();
  EXPECT_EQ(configured, (std::vector<unsigned>{kSda, kScl}));
  for (unsigned gpio : {kScl, kSda}) {
    EXPECT_TRUE(kb::gpio::line(gpio).requested);
    EXPECT_EQ(kb::gpio::line(gpio).label, "");
    EXPECT_TRUE(kb::gpio::line(gpio).output);
    EXPECT_EQ(kb::gpio::level(gpio), 1);
  }
  miscdevice* misc = kb::find_misc(kDevice);
  ASSERT_NE(misc, nullptr);
  EXPECT_EQ(misc->minor, 63);  // dynamically assigned
  EXPECT_EQ(misc->nodename, nullptr);
  EXPECT_EQ(misc->mode, 0);
  EXPECT_EQ(misc->fops->read, nullptr);
  EXPECT_EQ(misc->fops->write, nullptr);
  EXPECT_EQ(misc->fops->compat_ioctl, nullptr);
  EXPECT_TRUE(kb::log().empty());
  EXPECT_EQ(slave_->wire(), "");

  // Opens keep no state; several may be outstanding.
  {
    kb::MiscFile a(kDevice), b(kDevice);
    EXPECT_TRUE(a.ok());
    EXPECT_TRUE(b.ok());
    EXPECT_EQ(a.release(), 0);
  }
  kb::unload(kModule);
  EXPECT_EQ(kb::find_misc(kDevice), nullptr);
  EXPECT_EQ(kb::gpio::request_log(), (std::vector<std::string>{"+12", "+13", "-12", "-13"}));
  EXPECT_EQ(kb::gpio::level(kScl), 1);
  EXPECT_EQ(kb::gpio::level(kSda), 1);
}

// A line another user holds is left as that user set it: loading is
// refused with one message and nothing of the module's stays claimed.
TEST_F(Device, LoadFailuresLeaveOtherUsersLinesAlone) {
  struct Case {
    const char* name;
    std::vector<unsigned> taken;  // requested by another driver first
    int misc_error;
    int result;
    std::vector<std::string> log;
  };
  const std::string scl_busy = "[i2c_gt102_init 489]gpio_request fail! gpio_num=12 \n";
  const std::string sda_busy = "[i2c_gt102_init 493]gpio_request fail! gpio_num=13 \n";
  const Case cases[] = {
      {"clock line taken", {kScl}, 0, -EBUSY, {scl_busy}},
      {"data line taken", {kSda}, 0, -EBUSY, {sda_busy}},
      {"both taken", {kScl, kSda}, 0, -EBUSY, {scl_busy}},
      {"misc registration fails", {}, -EBUSY, -EBUSY, {}},
      {"misc fails, clock line taken", {kScl}, -ENOMEM, -EBUSY, {scl_busy}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kb::reset();
    for (unsigned gpio : c.taken) {
      ASSERT_EQ(gpio_request(gpio, "other"), 0);
      ASSERT_EQ(gpio_direction_input(gpio), 0);
    }
    if (c.misc_error) kb::fail_next_misc_register(c.misc_error);

    EXPECT_EQ(kb::load(kModule), c.result);
    EXPECT_EQ(kb::log_texts(), c.log);
    for (const auto& line : kb::log()) EXPECT_EQ(line.level, 3);
    if (c.result == 0) kb::unload(kModule);

    for (unsigned gpio : {kScl, kSda}) {
      bool other = std::find(c.taken.begin(), c.taken.end(), gpio) != c.taken.end();
      EXPECT_EQ(kb::gpio::line(gpio).requested, other) << gpio;
      if (other) {
        EXPECT_EQ(kb::gpio::line(gpio).label, "other");
        EXPECT_FALSE(kb::gpio::line(gpio).output) << gpio;
      }
    }
    EXPECT_EQ(kb::find_misc(kDevice), nullptr);
    EXPECT_EQ(kb::violations(), std::vector<std::string>{});
  }
}

// gpiolib takes a missing line for an absent optional one and lets every
// call succeed, and a line that may sleep cannot be driven with interrupts
// off: the module refuses both before it claims anything.
TEST_F(Device, RefusesLinesThatDoNotExistOrMaySleep) {
  struct Case {
    const char* name;
    std::vector<unsigned> absent, sleeping;
    int result;
    std::string message;
  };
  const Case cases[] = {
      {"no clock line", {kScl}, {}, -ENODEV, "gpio_i2c: GPIO 12 does not exist\n"},
      {"no data line", {kSda}, {}, -ENODEV, "gpio_i2c: GPIO 13 does not exist\n"},
      {"no GPIO controller", {kScl, kSda}, {}, -ENODEV, "gpio_i2c: GPIO 12 does not exist\n"},
      {"clock line may sleep",
       {},
       {kScl},
       -EOPNOTSUPP,
       "gpio_i2c: GPIO 12 may sleep, the bus cannot run on it\n"},
      {"data line may sleep",
       {},
       {kSda},
       -EOPNOTSUPP,
       "gpio_i2c: GPIO 13 may sleep, the bus cannot run on it\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kb::reset();
    for (unsigned gpio : c.absent) kb::gpio::set_absent(gpio);
    for (unsigned gpio : c.sleeping) kb::gpio::set_can_sleep(gpio);

    EXPECT_EQ(kb::load(kModule), c.result);
    EXPECT_EQ(kb::log_texts(), std::vector<std::string>{c.message});
    for (const auto& line : kb::log()) EXPECT_EQ(line.level, 3);
    EXPECT_EQ(kb::find_misc(kDevice), nullptr);
    EXPECT_TRUE(kb::gpio::request_log().empty());
    EXPECT_FALSE(kb::gpio::line(kScl).output);
    EXPECT_FALSE(kb::gpio::line(kSda).output);
    if (kb::module_info(kModule)->loaded) {
      // The old module: show what it does with such lines before unloading.
      gpioi2c_block b = block(0x10, 1);
      call(GPIOI2C_CMD_READ, &b);
      kb::unload(kModule);
    }
    EXPECT_EQ(kb::violations(), std::vector<std::string>{});
  }
}

TEST_F(Device, ReadsARangeOneTransactionPerRegister) {
  load();
  std::vector<uint8_t> sent(GPIOI2C_DATA_LEN, kFill);
  gpioi2c_block b = block(0x10, 3, sent);
  EXPECT_EQ(call(GPIOI2C_CMD_READ, &b), 0);

  EXPECT_EQ(slave_->wire(), join({read_wire(0x10), read_wire(0x11), read_wire(0x12)}));
  EXPECT_EQ(b.start_reg, 0x10);
  EXPECT_EQ(b.count, 3);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(b.data[k], initial(uint8_t(0x10 + k))) << k;
  for (int k = 3; k < GPIOI2C_DATA_LEN; ++k) EXPECT_EQ(b.data[k], kFill) << k;
  EXPECT_EQ(elapsed_ns_, 3 * kReadUs * kUs);
  EXPECT_TRUE(kb::log().empty());
  ASSERT_EQ(kb::user::copies().size(), 2u);
  EXPECT_TRUE(kb::user::copies()[1].to_user);
  EXPECT_EQ(kb::user::copies()[1].len, 90u);
}

TEST_F(Device, WritesARangeOneTransactionPerRegister) {
  load();
  gpioi2c_block b = block(0x20, 3, {0x01, 0x02, 0x03});
  EXPECT_EQ(call(GPIOI2C_CMD_WRITE, &b), 0);

  EXPECT_EQ(slave_->wire(), join({write_wire(0x20, 1), write_wire(0x21, 2), write_wire(0x22, 3)}));
  using W = std::pair<uint8_t, uint8_t>;
  EXPECT_EQ(slave_->writes(), (std::vector<W>{{0x20, 1}, {0x21, 2}, {0x22, 3}}));
  EXPECT_EQ(elapsed_ns_, 3 * kWriteUs * kUs);
  ASSERT_EQ(kb::user::copies().size(), 1u);  // nothing copied back
  EXPECT_TRUE(kb::log().empty());
}

TEST_F(Device, RangesWrapFromFFToZero) {
  for (unsigned cmd : {GPIOI2C_CMD_READ, GPIOI2C_CMD_WRITE}) {
    SCOPED_TRACE(cmd);
    kb::reset();
    SetUp();
    load();
    gpioi2c_block b = block(0xFE, 4, {0xA0, 0xA1, 0xA2, 0xA3});
    EXPECT_EQ(call(cmd, &b), 0);
    const std::vector<uint8_t> regs = {0xFE, 0xFF, 0x00, 0x01};
    std::vector<std::string> wire;
    for (size_t k = 0; k < regs.size(); ++k) {
      if (cmd == GPIOI2C_CMD_READ) {
        wire.push_back(read_wire(regs[k]));
        EXPECT_EQ(b.data[k], initial(regs[k]));
      } else {
        wire.push_back(write_wire(regs[k], uint8_t(0xA0 + k)));
        EXPECT_EQ(slave_->reg(regs[k]), 0xA0 + k);
      }
    }
    EXPECT_EQ(slave_->wire(), join(wire));
  }
}

TEST_F(Device, CountIsCutToTheDataArea) {
  struct Case {
    uint8_t count;
    size_t registers;
  };
  const Case cases[] = {{0, 0}, {1, 1}, {87, 87}, {88, 88}, {89, 88}, {200, 88}, {255, 88}};
  for (const Case& c : cases) {
    for (unsigned cmd : {GPIOI2C_CMD_READ, GPIOI2C_CMD_WRITE}) {
      SCOPED_TRACE(std::to_string(c.count) + (cmd == GPIOI2C_CMD_READ ? " read" : " write"));
      kb::reset();
      SetUp();
      load();
      std::vector<uint8_t> sent(GPIOI2C_DATA_LEN);
      for (size_t k = 0; k < sent.size(); ++k) sent[k] = uint8_t(0x80 + k);
      gpioi2c_block b = block(0xC0, c.count, sent);
      EXPECT_EQ(call(cmd, &b), 0);
      EXPECT_EQ(b.start_reg, 0xC0);
      EXPECT_EQ(b.count, c.count);  // the caller's block is not rewritten
      if (cmd == GPIOI2C_CMD_READ) {
        EXPECT_EQ(slave_->reads().size(), c.registers);
        EXPECT_EQ(elapsed_ns_, c.registers * kReadUs * kUs);
        for (size_t k = 0; k < GPIOI2C_DATA_LEN; ++k)
          EXPECT_EQ(b.data[k], k < c.registers ? initial(uint8_t(0xC0 + k)) : sent[k]) << k;
      } else {
        ASSERT_EQ(slave_->writes().size(), c.registers);
        EXPECT_EQ(elapsed_ns_, c.registers * kWriteUs * kUs);
        for (size_t k = 0; k < c.registers; ++k)
          EXPECT_EQ(slave_->writes()[k], std::make_pair(uint8_t(0xC0 + k), sent[k]));
      }
      if (c.registers == 0) {
        EXPECT_TRUE(wave_->changes().empty());
      }
    }
  }
}

TEST_F(Device, FullBlockHoldsTheLockAbout34msReadingAnd32msWriting) {
  load();
  gpioi2c_block b = block(0x00, GPIOI2C_DATA_LEN);
  EXPECT_EQ(call(GPIOI2C_CMD_READ, &b), 0);
  EXPECT_EQ(elapsed_ns_, 33968 * kUs);
  b = block(0x00, GPIOI2C_DATA_LEN);
  EXPECT_EQ(call(GPIOI2C_CMD_WRITE, &b), 0);
  EXPECT_EQ(elapsed_ns_, 31680 * kUs);

  // Each call is one lock hold, from before the first edge to after the last.
  ASSERT_EQ(kb::lock_events().size(), 4u);
  const auto& ev = kb::lock_events();
  EXPECT_EQ(ev[0].name, "gpioi2c_lock");
  EXPECT_TRUE(ev[0].acquired);
  EXPECT_FALSE(ev[1].acquired);
  EXPECT_EQ(ev[1].time_ns - ev[0].time_ns, 33968 * kUs);
  EXPECT_EQ(ev[3].time_ns - ev[2].time_ns, 31680 * kUs);
  EXPECT_LE(ev[0].time_ns, wave_->changes().front().time_ns);
  EXPECT_GE(ev[3].time_ns, wave_->changes().back().time_ns);
  for (const auto& c : wave_->changes()) {
    bool inside = (c.time_ns >= ev[0].time_ns && c.time_ns <= ev[1].time_ns) ||
                  (c.time_ns >= ev[2].time_ns && c.time_ns <= ev[3].time_ns);
    EXPECT_TRUE(inside) << c.time_ns;
  }
}

TEST_F(Device, InterruptsAreOffExactlyDuringTheBytes) {
  load();
  gpioi2c_block b = block(0x10, 1);
  EXPECT_EQ(call(GPIOI2C_CMD_READ, &b), 0);
  // start 6 | D0 82 | ack 12 | reg 82 | ack 12 | start 6 | D1 82 | ack 12 |
  // read 64 + 2 | nack 14 | stop 12
  const std::vector<std::pair<uint64_t, uint64_t>> off = {
      {6, 88}, {100, 182}, {200, 282}, {294, 358}};
  const auto& ev = kb::irq_events();
  ASSERT_EQ(ev.size(), 2 * off.size());
  for (size_t i = 0; i < off.size(); ++i) {
    EXPECT_FALSE(ev[2 * i].enabled);
    EXPECT_EQ(ev[2 * i].time_ns - start_ns_, off[i].first * kUs);
    EXPECT_TRUE(ev[2 * i + 1].enabled);
    EXPECT_EQ(ev[2 * i + 1].time_ns - start_ns_, off[i].second * kUs);
  }

  kb::reset();
  SetUp();
  load();
  b = block(0x10, 1, {0x77});
  EXPECT_EQ(call(GPIOI2C_CMD_WRITE, &b), 0);
  // start 6 | D0 82 | ack 12 | reg 82 | ack 12 | value 82 | ack 12 | stop 12 | 60
  const std::vector<std::pair<uint64_t, uint64_t>> write_off = {{6, 88}, {100, 182}, {194, 276}};
  ASSERT_EQ(kb::irq_events().size(), 2 * write_off.size());
  for (size_t i = 0; i < write_off.size(); ++i) {
    EXPECT_EQ(kb::irq_events()[2 * i].time_ns - start_ns_, write_off[i].first * kUs);
    EXPECT_EQ(kb::irq_events()[2 * i + 1].time_ns - start_ns_, write_off[i].second * kUs);
  }
}

TEST_F(Device, UnansweredStagesAbandonOnlyThatRegister) {
  struct Case {
    const char* name;
    unsigned cmd;
    Stage stage;
    std::optional<uint8_t> reg;
    std::string wire;  // for registers 0x20..0x22, written 1, 2, 3
    uint64_t elapsed_us;
    std::vector<std::string> log;
  };
  const std::string nack_addr = "D0-";
  const Case cases[] = {
      {"read, address refused",
       GPIOI2C_CMD_READ,
       Stage::AddressWrite,
       std::nullopt,
       "S D0- Sr D0- Sr D0-",
       3 * (6 + 82 + 20),
       {}},
      {"read, one register refused",
       GPIOI2C_CMD_READ,
       Stage::Register,
       0x21,
       join({read_wire(0x20), "S D0+ 21- Sr D0+ 22+ Sr D1+ " + hex(initial(0x22)) + "- P"}),
       2 * kReadUs + (6 + 82 + 12 + 82 + 20),
       {}},
      {"read, read address refused",
       GPIOI2C_CMD_READ,
       Stage::AddressRead,
       0x20,
       "S D0+ 20+ Sr D1- Sr D0+ 21+ Sr D1+ " + hex(initial(0x21)) + "- P " + read_wire(0x22),
       2 * kReadUs + (6 + 82 + 12 + 82 + 12 + 6 + 82 + 20),
       {}},
      {"write, address refused",
       GPIOI2C_CMD_WRITE,
       Stage::AddressWrite,
       std::nullopt,
       "S D0- Sr D0- Sr D0-",
       3 * (6 + 82 + 20),
       {}},
      {"write, one register refused",
       GPIOI2C_CMD_WRITE,
       Stage::Register,
       0x20,
       "S D0+ 20- Sr D0+ 21+ 02+ P " + write_wire(0x22, 3),
       2 * kWriteUs + (6 + 82 + 12 + 82 + 20),
       {}},
      {"write, one value refused",
       GPIOI2C_CMD_WRITE,
       Stage::Data,
       0x21,
       join({write_wire(0x20, 1), "S D0+ 21+ 02- Sr D0+ 22+ 03+ P"}),
       2 * kWriteUs + (6 + 3 * 82 + 2 * 12 + 20),
       {"fail: return NACK\n"}},
      {"write, every value refused",
       GPIOI2C_CMD_WRITE,
       Stage::Data,
       std::nullopt,
       "S D0+ 20+ 01- Sr D0+ 21+ 02- Sr D0+ 22+ 03-",
       3 * (6 + 3 * 82 + 2 * 12 + 20),
       {"fail: return NACK\n", "fail: return NACK\n", "fail: return NACK\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kb::reset();
    SetUp();
    load();
    slave_->refuse(c.stage, c.reg);
    gpioi2c_block b = block(0x20, 3, {1, 2, 3});
    EXPECT_EQ(call(c.cmd, &b), 0);
    EXPECT_EQ(slave_->wire(), c.wire);
    EXPECT_EQ(elapsed_ns_, c.elapsed_us * kUs);
    EXPECT_EQ(kb::log_texts(), c.log);
    for (const auto& line : kb::log()) EXPECT_EQ(line.level, kb::kLevelDefault);
    if (c.cmd == GPIOI2C_CMD_READ) {
      // A register that was not read keeps what the caller sent.
      for (uint8_t k = 0; k < 3; ++k) {
        bool was_read = std::find(slave_->reads().begin(), slave_->reads().end(), 0x20 + k) !=
                        slave_->reads().end();
        EXPECT_EQ(b.data[k], was_read ? initial(uint8_t(0x20 + k)) : k + 1) << int(k);
      }
    }
    // An abandoned register leaves SCL low and SDA released until the next call.
    if (c.stage == Stage::AddressWrite || c.name == std::string("write, every value refused")) {
      EXPECT_EQ(kb::gpio::line(kScl).out_level, 0);
      EXPECT_FALSE(kb::gpio::line(kSda).output);
    }
  }
}

TEST_F(Device, LateAcknowledgesAreWaitedFor) {
  load();
  slave_->ack_on_sample(7);
  gpioi2c_block b = block(0x30, 2);
  EXPECT_EQ(call(GPIOI2C_CMD_READ, &b), 0);
  EXPECT_EQ(slave_->wire(), join({read_wire(0x30), read_wire(0x31)}));
  EXPECT_EQ(b.data[0], initial(0x30));
  // Three acknowledges per register, each 12 us later than at once.
  EXPECT_EQ(elapsed_ns_, 2 * (kReadUs + 3 * 12) * kUs);
}

TEST_F(Device, BadBlocksAndCommandsFail) {
  const std::string copy_error = "IOC_VDEC_INPUT_INIT error\n";
  struct Case {
    const char* name;
    unsigned cmd;
    std::function<uintptr_t()> arg;
    long result;
    size_t messages;
    bool bus;  // anything on the wire
  };
  auto good = [] { return kb::user::map(to_bytes(block(0x10, 2))); };
  // A block whose mapping ends after len bytes.
  auto shortened = [](size_t len) {
    return [len] {
      std::vector<uint8_t> bytes = to_bytes(block(0x10, 2));
      bytes.resize(len);
      return kb::user::map(bytes);
    };
  };
  const Case cases[] = {
      {"command 2", 2, good, -1, 0, false},
      {"command 0", 0, good, -1, 0, false},
      {"unknown command, bad address", 0x6100, [] { return uintptr_t(0); }, -1, 1, false},
      {"read, null", GPIOI2C_CMD_READ, [] { return uintptr_t(0); }, -EFAULT, 1, false},
      {"write, null", GPIOI2C_CMD_WRITE, [] { return uintptr_t(0); }, -EFAULT, 1, false},
      {"read, kernel address", GPIOI2C_CMD_READ, [] { return kb::user::kTaskSize; }, -EFAULT, 1,
       false},
      {"read, block cut after 50 bytes", GPIOI2C_CMD_READ, shortened(50), -EFAULT, 1, false},
      {"write, count byte missing", GPIOI2C_CMD_WRITE, shortened(89), -EFAULT, 1, false},
      {"read, block cannot be copied back", GPIOI2C_CMD_READ,
       [good] {
         uintptr_t a = good();
         kb::user::read_only(a);
         return a;
       },
       -EFAULT, 1, true},
      {"write into read-only block", GPIOI2C_CMD_WRITE,
       [good] {
         uintptr_t a = good();
         kb::user::read_only(a);
         return a;
       },
       0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kb::reset();
    SetUp();
    load();
    EXPECT_EQ(ioctl_at(c.cmd, c.arg()), c.result);
    EXPECT_EQ(kb::log_texts(), std::vector<std::string>(c.messages, copy_error));
    for (const auto& line : kb::log()) EXPECT_EQ(line.level, kb::kLevelDefault);
    EXPECT_EQ(!wave_->changes().empty(), c.bus);
    // The block is always copied in first, whatever the command.
    ASSERT_FALSE(kb::user::copies().empty());
    EXPECT_FALSE(kb::user::copies()[0].to_user);
    EXPECT_EQ(kb::user::copies()[0].len, 90u);
  }
}

TEST_F(Device, PushPullDataLineMeetsTheAcknowledgeForTwoMicroseconds) {
  // The master keeps driving bit 0 for 2 us after the eighth clock, when the
  // slave already pulls SDA low; a byte ending in a 1 (here D1) overlaps.
  load();
  gpioi2c_block b = block(0x10, 1);
  EXPECT_EQ(call(GPIOI2C_CMD_READ, &b), 0);
  ASSERT_EQ(kb::gpio::contentions().size(), 1u);
  const auto& c = kb::gpio::contentions()[0];
  EXPECT_EQ(c.gpio, kSda);
  EXPECT_EQ(c.start_ns - start_ns_, 280 * kUs);
  ASSERT_TRUE(c.end_ns);
  EXPECT_EQ(*c.end_ns - c.start_ns, 2 * kUs);
}

}  // namespace
}  // namespace gpio_i2c_test
