// SPDX-License-Identifier: GPL-2.0
// rjgt102-reg against gpio_i2c in the kernel bench, with the slave model on
// the bus: the tool, the driver and the wire together.
#include <string>
#include <vector>

#include "bench_reg_device.h"
#include "gpio_i2c_fixture.h"
#include "program.h"
#include "regtool.h"

namespace regtool_test {
namespace {

using Stage = kb::models::I2cSlave::Stage;

std::string hex(unsigned v) { return devtools::hex_byte(v); }

class RegToolTest : public gpio_i2c_test::GpioI2cBench {
 protected:
  void SetUp() override {
    GpioI2cBench::SetUp();
    env_.console.out = [this](std::string_view s) { out_ += s; };
    env_.console.err = [this](std::string_view s) { err_ += s; };
    env_.open = [this](const std::string& path, int& error) {
      return open_bench(path, error, bench_);
    };
  }

  int run(const std::vector<std::string>& args) {
    out_.clear();
    err_.clear();
    bench_.calls.clear();
    return regtool::run(args, env_);
  }

  // Expected output of a read: one 0x.. line per register.
  std::string lines_of(unsigned first, unsigned count) const {
    std::string s;
    for (unsigned k = 0; k < count; ++k) s += hex(slave_->reg(uint8_t(first + k))) + "\n";
    return s;
  }

  regtool::Env env_;
  BenchLog bench_;
  std::string out_, err_;
};

TEST_F(RegToolTest, ReadsOneRegisterCheckingTheAnswer) {
  load();
  slave_->reg(0x10) = 0x4a;
  EXPECT_EQ(run({"read", "0x10"}), 0);
  EXPECT_EQ(out_, "0x4a\n");
  EXPECT_EQ(err_, "");
  // Two passes with different fills, one register each.
  ASSERT_EQ(bench_.calls.size(), 2u);
  for (const Call& c : bench_.calls) {
    EXPECT_EQ(c.cmd, unsigned(GPIOI2C_CMD_READ));
    EXPECT_EQ(c.start, 0x10u);
    EXPECT_EQ(c.count, 1u);
  }
  EXPECT_EQ(bench_.opened, std::vector<std::string>{"/dev/rjgt102_i2c"});
}

TEST_F(RegToolTest, RangesAreSplitIntoDeviceBlocks) {
  load();
  const struct {
    std::vector<std::string> args;
    unsigned first, count;
    std::vector<unsigned> blocks;  // counts of the calls of one pass
    unsigned passes;
  } cases[] = {
      {{"read", "0", "88"}, 0, 88, {88}, 2},
      {{"read", "0x20", "89"}, 0x20, 89, {88, 1}, 2},
      {{"read", "1", "255"}, 1, 255, {88, 88, 79}, 2},
      {{"--once", "read", "0xf0", "16"}, 0xf0, 16, {16}, 1},
      {{"read", "0xff", "1"}, 0xff, 1, {1}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args.back());
    EXPECT_EQ(run(c.args), 0) << err_;
    EXPECT_EQ(out_, lines_of(c.first, c.count));
    ASSERT_EQ(bench_.calls.size(), c.blocks.size() * c.passes);
    unsigned reg = c.first;
    for (size_t i = 0; i < bench_.calls.size(); ++i) {
      if (i % c.blocks.size() == 0) reg = c.first;
      EXPECT_EQ(bench_.calls[i].start, reg);
      EXPECT_EQ(bench_.calls[i].count, c.blocks[i % c.blocks.size()]);
      reg += bench_.calls[i].count;
    }
  }
}

TEST_F(RegToolTest, ZeroAndAllOnesAreAnswersNotSilence) {
  load();
  slave_->reg(0x30) = 0x00;
  slave_->reg(0x31) = 0xff;
  EXPECT_EQ(run({"read", "0x30", "2"}), 0) << err_;
  EXPECT_EQ(out_, "0x00\n0xff\n");
}

TEST_F(RegToolTest, DumpPrintsTheWholeRegisterFileAsATable) {
  load();
  slave_->reg(0x41) = 'A';
  slave_->reg(0x42) = 'z';
  EXPECT_EQ(run({"dump"}), 0) << err_;
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < out_.size();) {
    size_t end = out_.find('\n', pos);
    lines.push_back(out_.substr(pos, end - pos));
    pos = end + 1;
  }
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0], "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f    0123456789abcdef");
  // The bench slave holds reg ^ 0x5a.
  EXPECT_EQ(lines[1],
            "00: 5a 5b 58 59 5e 5f 5c 5d 52 53 50 51 56 57 54 55    "
            "Z[XY^_\\]RSPQVWTU");
  EXPECT_EQ(lines[5].substr(0, 13), "40: 1a 41 7a ");
  EXPECT_EQ(lines[5].substr(55, 4), ".Az.");  // printable bytes in the text column
  EXPECT_EQ(lines[16].substr(0, 4), "f0: ");
  // Two passes of 88 + 88 + 80 registers.
  ASSERT_EQ(bench_.calls.size(), 6u);
  EXPECT_EQ(bench_.calls[2].start, 176u);
  EXPECT_EQ(bench_.calls[2].count, 80u);
}

TEST_F(RegToolTest, WritesOneOrSeveralRegisters) {
  load();
  EXPECT_EQ(run({"write", "0x20", "1", "0x02", "255"}), 0) << err_;
  EXPECT_EQ(out_, "");
  EXPECT_EQ(slave_->reg(0x20), 1);
  EXPECT_EQ(slave_->reg(0x21), 2);
  EXPECT_EQ(slave_->reg(0x22), 255);
  EXPECT_EQ(slave_->reg(0x23), 0x23 ^ 0x5a);  // untouched
  ASSERT_EQ(bench_.calls.size(), 1u);
  EXPECT_EQ(bench_.calls[0].cmd, unsigned(GPIOI2C_CMD_WRITE));
  EXPECT_EQ(bench_.calls[0].count, 3u);

  std::vector<std::string> args = {"write", "0x60"};
  for (unsigned k = 0; k < 160; ++k) args.push_back(std::to_string(k));
  EXPECT_EQ(run(args), 0) << err_;
  for (unsigned k = 0; k < 160; ++k) EXPECT_EQ(slave_->reg(uint8_t(0x60 + k)), k) << k;
  ASSERT_EQ(bench_.calls.size(), 2u);
  EXPECT_EQ(bench_.calls[1].start, 0x60u + 88);
  EXPECT_EQ(bench_.calls[1].count, 72u);
}

TEST_F(RegToolTest, ReadbackCatchesWritesTheSlaveRefused) {
  load();
  EXPECT_EQ(run({"-r", "write", "0x10", "7", "8"}), 0) << err_;
  EXPECT_EQ(slave_->reg(0x11), 8);

  slave_->refuse(Stage::Data, 0x11);
  EXPECT_EQ(run({"write", "--readback", "0x10", "0x17", "0x18"}), 1);
  EXPECT_EQ(err_, "rjgt102-reg: register 0x11 reads back 0x08 after writing 0x18\n");
  EXPECT_EQ(slave_->reg(0x10), 0x17);
  // The kernel logs the refusal; the ioctl result never shows it.
  EXPECT_EQ(kb::log_texts(), std::vector<std::string>{"fail: return NACK\n"});
}

TEST_F(RegToolTest, ReportsRegistersTheSlaveDidNotAnswer) {
  load();
  slave_->refuse(Stage::Register, 0x12);
  slave_->refuse(Stage::AddressRead, 0x13);
  EXPECT_EQ(run({"read", "0x10", "6"}), 1);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_, "rjgt102-reg: the slave did not answer: 0x12-0x13\n");

  // --once trusts the first pass: the silent registers read as the fill.
  EXPECT_EQ(run({"--once", "read", "0x12"}), 0);
  EXPECT_EQ(out_, "0x00\n");
  EXPECT_EQ(run({"-1", "read", "0x12"}), 0);  // before the command, -1 is --once
  EXPECT_EQ(out_, "0x00\n");
}

TEST_F(RegToolTest, DumpMarksAnAbsentSlave) {
  load();
  slave_->refuse(Stage::AddressWrite);
  EXPECT_EQ(run({"dump"}), 1);
  EXPECT_EQ(err_, "rjgt102-reg: the slave did not answer: 0x00-0xff\n");
  EXPECT_NE(
      out_.find("\n00: XX XX XX XX XX XX XX XX XX XX XX XX XX XX XX XX    XXXXXXXXXXXXXXXX\n"),
      std::string::npos);
  EXPECT_EQ(run({"-r", "write", "0", "1"}), 1);
  EXPECT_EQ(err_, "rjgt102-reg: the slave did not answer the read-back: 0x00\n");
}

TEST_F(RegToolTest, BadCommandLinesTouchNoDevice) {
  load();
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{}, "no command given"},
      {{"frob"}, "unknown command 'frob'"},
      {{"-x", "dump"}, "unknown option '-x'"},
      {{"dump", "-d"}, "option -d needs a device path"},
      {{"dump", "1"}, "dump takes no arguments"},
      {{"read"}, "read needs a register"},
      {{"read", "0x100"}, "bad register '0x100': expected 0 to 0xff"},
      {{"read", "-1"}, "bad register '-1': expected 0 to 0xff"},  // not --once here
      {{"read", "-2"}, "bad register '-2': expected 0 to 0xff"},
      {{"read", "1", "-1"}, "bad count '-1': expected 1 to 256"},
      {{"--once=1", "dump"}, "option --once takes no value"},
      {{"read", "ten"}, "bad register 'ten': expected 0 to 0xff"},
      {{"read", "1", "0"}, "bad count '0': expected 1 to 256"},
      {{"read", "1", "257"}, "bad count '257': expected 1 to 256"},
      {{"read", "1", "2", "3"}, "read takes a register and a count"},
      {{"read", "0xfe", "4"}, "4 registers from 0xfe run past 0xff"},
      {{"write", "1"}, "write needs at least one value"},
      {{"write", "1", "0x100"}, "bad value '0x100': expected 0 to 0xff"},
      {{"write", "0xff", "1", "2"}, "2 registers from 0xff run past 0xff"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(run(c.args), 2);
    EXPECT_EQ(err_, std::string("rjgt102-reg: ") + c.message + "\nTry 'rjgt102-reg --help'.\n");
    EXPECT_EQ(out_, "");
    EXPECT_TRUE(bench_.calls.empty());
  }
}

TEST_F(RegToolTest, HelpNeedsNoDevice) {
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_EQ(out_.rfind("Usage: rjgt102-reg [OPTIONS] COMMAND", 0), 0u);
  EXPECT_EQ(run({"dump", "--version"}), 0);
  EXPECT_EQ(out_, std::string("rjgt102-reg ") + devtools::version() + "\n");
  EXPECT_TRUE(bench_.opened.empty());
}

TEST_F(RegToolTest, MissingDeviceIsExplained) {
  // The module is not loaded: no device node.
  EXPECT_EQ(run({"read", "0"}), 1);
  EXPECT_EQ(err_,
            "rjgt102-reg: cannot open /dev/rjgt102_i2c: No such file or directory "
            "(is the gpio_i2c module loaded?)\n");
  load();
  EXPECT_EQ(run({"-d", "/dev/other", "dump"}), 1);
  EXPECT_EQ(err_.rfind("rjgt102-reg: cannot open /dev/other: ", 0), 0u);
}

TEST_F(RegToolTest, FailedCallsNameTheRegistersAndTheError) {
  load();
  // The second block of the first pass cannot be copied in.
  bench_.fault_call = 2;
  bench_.fault_offset = 10;
  EXPECT_EQ(run({"read", "0", "100"}), 1);
  EXPECT_EQ(err_,
            "rjgt102-reg: reading registers 0x58-0x63 on /dev/rjgt102_i2c failed: "
            "Bad address\n");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(bench_.calls.size(), 2u);  // stops at the failed call

  bench_.fault_call = 1;
  bench_.fault_offset = 0;
  EXPECT_EQ(run({"write", "0x40", "1"}), 1);
  EXPECT_EQ(err_, "rjgt102-reg: writing register 0x40 on /dev/rjgt102_i2c failed: Bad address\n");
  EXPECT_EQ(slave_->reg(0x40), 0x40 ^ 0x5a);
}

}  // namespace
}  // namespace regtool_test
