// SPDX-License-Identifier: GPL-2.0
// sar-adc against sar_adc in the kernel bench, with the converter model
// behind its register window: the tool, the driver and the converter
// together.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "adctool.h"
#include "program.h"
#include "sar_fixture.h"

namespace adctool_test {
namespace {

using kb::SarConverter;
using sar_test::kCtrl;

// SarDevice routed to the driver's misc device: the record goes through the
// bench's user memory, as the system call would pass it.
class BenchSarDevice : public adctool::SarDevice {
 public:
  BenchSarDevice(std::vector<unsigned>& calls, unsigned fault_call)
      : file_("sar"), calls_(calls), fault_call_(fault_call) {}
  bool ok() const { return file_.ok(); }

  int ioctl(unsigned cmd, sar_ioctl_data* data) override {
    calls_.push_back(cmd);
    uintptr_t addr = 0;
    if (data) {
      std::vector<uint8_t> bytes(sizeof(*data));
      std::memcpy(bytes.data(), data, sizeof(*data));
      addr = kb::user::map(bytes);
      if (calls_.size() == fault_call_) kb::user::fault_from(addr, 0);
    }
    const long ret = file_.ioctl(cmd, addr);
    if (data) {
      std::vector<uint8_t> bytes = kb::user::read(addr, sizeof(*data));
      std::memcpy(data, bytes.data(), sizeof(*data));
      kb::user::unmap(addr);
    }
    return ret < 0 ? static_cast<int>(-ret) : 0;
  }

 private:
  kb::MiscFile file_;
  std::vector<unsigned>& calls_;
  unsigned fault_call_;
};

class AdcToolTest : public sar_test::SarTest {
 protected:
  void SetUp() override {
    SarTest::SetUp();
    for (unsigned n = 0; n < SarConverter::kChannels; ++n) adc.set_input(n, uint16_t(1000 + n));
    env_.console.out = [this](std::string_view s) { out_ += s; };
    env_.console.err = [this](std::string_view s) { err_ += s; };
    env_.open = [this](const std::string& path, int& error) -> std::unique_ptr<adctool::SarDevice> {
      opened_.push_back(path);
      auto dev = std::make_unique<BenchSarDevice>(calls_, fault_call_);
      if (path != "/dev/sar" || !dev->ok()) {
        error = ENOENT;  // no node without a registered device
        return nullptr;
      }
      return dev;
    };
    env_.sleep = [this](std::chrono::milliseconds ms) {
      sleeps_.push_back(ms.count());
      return on_sleep_ ? on_sleep_() : true;
    };
  }

  int run(const std::vector<std::string>& args) {
    out_.clear();
    err_.clear();
    calls_.clear();
    sleeps_.clear();
    return adctool::run(args, env_);
  }

  adctool::Env env_;
  std::string out_, err_;
  std::vector<std::string> opened_;
  std::vector<unsigned> calls_;
  std::vector<long> sleeps_;
  unsigned fault_call_ = 0;
  std::function<bool()> on_sleep_;
};

TEST_F(AdcToolTest, InitialisesThenReadsAllChannelsOnOneLine) {
  bind_ok();
  EXPECT_EQ(run({}), 0) << err_;
  EXPECT_EQ(out_, "1000 1001 1002 1003\n");
  EXPECT_EQ(err_, "");
  EXPECT_EQ(calls_, (std::vector<unsigned>{SAR_IOC_INIT, SAR_IOC_READ, SAR_IOC_READ, SAR_IOC_READ,
                                           SAR_IOC_READ}));
  EXPECT_EQ(writes_at(kCtrl, 0x0A20), 1u);
  EXPECT_EQ(adc.starts(), 4u);  // one conversion per channel
  EXPECT_EQ(opened_, std::vector<std::string>{"/dev/sar"});
  EXPECT_EQ(run({"all"}), 0);
  EXPECT_EQ(out_, "1000 1001 1002 1003\n");
}

TEST_F(AdcToolTest, ReadsOneChannel) {
  bind_ok();
  adc.set_input(2, 0xffff);
  adc.set_input(3, 0);
  const struct {
    const char* channel;
    const char* out;
  } cases[] = {{"0", "1000\n"}, {"2", "65535\n"}, {"0x3", "0\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.channel);
    EXPECT_EQ(run({c.channel}), 0) << err_;
    EXPECT_EQ(out_, c.out);
  }
  // The driver selected the channel the tool asked for.
  EXPECT_EQ(kb::sysfs::read(class_device(), "channel").text, "3\n");
}

TEST_F(AdcToolTest, RepeatsAtTheInterval) {
  bind_ok();
  uint16_t next = 2000;
  on_sleep_ = [&] {
    adc.set_input(1, next++);
    return true;
  };
  EXPECT_EQ(run({"-n", "3", "-i", "250", "1"}), 0) << err_;
  EXPECT_EQ(out_, "1001\n2000\n2001\n");
  EXPECT_EQ(sleeps_, (std::vector<long>{250, 250}));
  // Initialised once, before the first reading.
  EXPECT_EQ(calls_.front(), unsigned(SAR_IOC_INIT));
  EXPECT_EQ(std::count(calls_.begin(), calls_.end(), unsigned(SAR_IOC_INIT)), 1);

  EXPECT_EQ(run({"--count", "2", "3"}), 0);
  EXPECT_EQ(sleeps_, std::vector<long>{1000});  // the default interval
}

TEST_F(AdcToolTest, EndlessUntilInterrupted) {
  bind_ok();
  for (const auto& args : {std::vector<std::string>{"-i", "10", "0"}, {"-n", "0", "0"}}) {
    int sleeps_left = 4;
    on_sleep_ = [&] { return --sleeps_left > 0; };
    EXPECT_EQ(run(args), 0);
    EXPECT_EQ(out_, "1000\n1000\n1000\n1000\n");
  }
}

TEST_F(AdcToolTest, NoInitLeavesTheControlRegisterAlone) {
  bind_ok();
  EXPECT_EQ(run({"--no-init", "1"}), 0) << err_;
  EXPECT_EQ(out_, "1001\n");
  EXPECT_EQ(calls_, std::vector<unsigned>{SAR_IOC_READ});
  EXPECT_EQ(writes_at(kCtrl, 0x0A20), 0u);
}

TEST_F(AdcToolTest, BadCommandLinesTouchNoDevice) {
  bind_ok();
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"4"}, "bad channel '4': expected 0 to 3 or all"},
      {{"SAR1"}, "bad channel 'SAR1': expected 0 to 3 or all"},
      {{"-1"}, "unknown option '-1'"},
      {{"1", "2"}, "more than one channel given"},
      {{"-n", "x"}, "bad count 'x'"},
      {{"-n"}, "option -n needs a number"},
      {{"-i", "86400001"}, "bad interval '86400001': expected 0 to 86400000 ms"},
      {{"-d"}, "option -d needs a device path"},
      {{"--bogus"}, "unknown option '--bogus'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(run(c.args), 2);
    EXPECT_EQ(err_, std::string("sar-adc: ") + c.message + "\nTry 'sar-adc --help'.\n");
    EXPECT_EQ(out_, "");
    EXPECT_TRUE(calls_.empty());
  }
}

TEST_F(AdcToolTest, HelpNeedsNoDevice) {
  EXPECT_EQ(run({"-h"}), 0);
  EXPECT_EQ(out_.rfind("Usage: sar-adc [OPTIONS] [CHANNEL|all]", 0), 0u);
  EXPECT_EQ(run({"--version"}), 0);
  EXPECT_EQ(out_, std::string("sar-adc ") + devtools::version() + "\n");
  EXPECT_TRUE(opened_.empty());
}

TEST_F(AdcToolTest, MissingDeviceIsExplained) {
  // The driver is not bound: no device node.
  EXPECT_EQ(run({}), 1);
  EXPECT_EQ(err_,
            "sar-adc: cannot open /dev/sar: No such file or directory "
            "(is sar_adc loaded and bound to the converter?)\n");
}

TEST_F(AdcToolTest, FailedCallsStopWithTheError) {
  bind_ok();
  fault_call_ = 3;  // init, channel 0, then channel 1's record faults
  EXPECT_EQ(run({}), 1);
  EXPECT_EQ(err_, "sar-adc: reading channel 1 through /dev/sar failed: Bad address\n");
  EXPECT_EQ(out_, "");  // no partial line
  EXPECT_EQ(calls_.size(), 3u);
}

}  // namespace
}  // namespace adctool_test
