// SPDX-License-Identifier: GPL-2.0
// The misc device "sar": command decoding and the two commands.
#include <cerrno>
#include <climits>
#include <cstring>

#include "sar_fixture.h"

namespace sar_test {
namespace {

using kb::SarConverter;

std::vector<uint8_t> record(int32_t channel, int32_t value) {
  sar_ioctl_data data{channel, value};
  std::vector<uint8_t> bytes(sizeof(data));
  std::memcpy(bytes.data(), &data, sizeof(data));
  return bytes;
}

class SarIoctlTest : public SarTest {
 protected:
  void SetUp() override {
    SarTest::SetUp();
    pdev = bind_ok();
    for (unsigned n = 0; n < SarConverter::kChannels; ++n)
      adc.set_input(n, uint16_t(0x100 + 0x11 * n));
  }

  static long ioctl(unsigned cmd, uintptr_t arg) {
    kb::MiscFile file("sar");
    EXPECT_TRUE(file.ok());
    return file.ioctl(cmd, arg);
  }

  static std::string channel_shown() { return kb::sysfs::read(class_device(), "channel").text; }

  platform_device* pdev = nullptr;
};

TEST(SarAbi, RecordIsEightBytesChannelFirst) {
  static_assert(sizeof(sar_ioctl_data) == 8);
  EXPECT_EQ(offsetof(sar_ioctl_data, channel), 0u);
  EXPECT_EQ(offsetof(sar_ioctl_data, value), 4u);
  EXPECT_EQ(SAR_IOC_INIT, 0x6100);
  EXPECT_EQ(SAR_IOC_READ, 0x6101);
}

TEST_F(SarIoctlTest, DecodingRunsTypeNumberDirectionThenCommand) {
  const uintptr_t mapped = kb::user::map(16);
  const uintptr_t limit = kb::user::kTaskSize;
  const struct {
    const char* what;
    unsigned cmd;
    uintptr_t arg;
    long result;
    bool logged;
  } cases[] = {
      {"other type", 0x6200, mapped, -ENOTTY, false},
      {"type 0", 0x0001, mapped, -ENOTTY, false},
      {"other type with direction bits", 0x80086201, limit, -ENOTTY, false},
      {"number above the maximum", 0x6103, mapped, -ENOTTY, false},
      {"highest number", 0x61ff, mapped, -ENOTTY, false},
      {"number above the maximum with direction bits", 0x80086103, limit, -ENOTTY, false},
      {"maximum number, no command behind it", 0x6102, mapped, -ENOTTY, true},
      {"read bit, user range", 0x80086101, mapped, -ENOTTY, true},
      {"read bit, kernel address", 0x80086101, limit, -EFAULT, false},
      {"write bit, user range", 0x40086100, mapped, -ENOTTY, true},
      {"write bit, kernel address", 0x40086100, limit, -EFAULT, false},
      {"both bits, range ending at the limit", 0xc0086101, limit - 8, -ENOTTY, true},
      {"both bits, range crossing the limit", 0xc0086101, limit - 4, -EFAULT, false},
      {"range wrapping the address space", 0x80086101, UINTPTR_MAX - 3, -EFAULT, false},
      {"largest size field, user range", 0xbfff6101, 0x1000, -ENOTTY, true},
      {"largest size field, crossing the limit", 0xbfff6101, limit - 0x3ffe, -EFAULT, false},
      {"unmapped but valid user range", 0x80086102, 0x1000, -ENOTTY, true},
      {"size field without direction", 0x00086101, mapped, -ENOTTY, true},
      {"size field without direction, kernel address", 0x00046100, limit, -ENOTTY, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kb::clear_log();
    kb::mmio::clear();
    const size_t copies = kb::user::copies().size();
    EXPECT_EQ(ioctl(c.cmd, c.arg), c.result);
    if (c.logged) {
      ASSERT_EQ(kb::log().size(), 1u);
      EXPECT_EQ(kb::log()[0].level, kb::kLevelDefault);
      EXPECT_EQ(kb::log()[0].text, kUnknown);
    } else {
      EXPECT_TRUE(kb::log().empty());
    }
    EXPECT_TRUE(kb::mmio::accesses().empty());
    EXPECT_EQ(kb::user::copies().size(), copies);
  }
}

TEST_F(SarIoctlTest, InitCommandInitialisesOnce) {
  EXPECT_EQ(ioctl(SAR_IOC_INIT, 0), 0);
  EXPECT_EQ(ioctl(SAR_IOC_INIT, 0x1234), 0);  // the argument is not looked at
  EXPECT_EQ(writes_at(kCtrl, 0x0a20), 1u);
  // The control register read (for a running conversion), then written once.
  EXPECT_EQ(kb::mmio::accesses().size(), 2u);
  EXPECT_TRUE(kb::log().empty());
}

TEST_F(SarIoctlTest, ReadCommandUsesTheTwoLowBitsAndReturnsTheRecord) {
  const struct {
    int32_t channel;
    unsigned read;
  } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {6, 2}, {-1, 3}, {4, 0}, {INT_MIN, 0}, {INT_MAX, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.channel);
    const uintptr_t addr = kb::user::map(record(c.channel, 0x55555555));
    EXPECT_EQ(ioctl(SAR_IOC_READ, addr), 0);
    EXPECT_EQ(kb::user::read(addr, 8), record(c.channel, int32_t(0x100 + 0x11 * c.read)));
    EXPECT_EQ(channel_shown(), std::to_string(c.read) + "\n");
    EXPECT_TRUE(adc.peek(kChan) & (1u << c.read));
  }
  EXPECT_TRUE(kb::log().empty());
}

TEST_F(SarIoctlTest, ReadCommandDoesNotInitialise) {
  const uintptr_t addr = kb::user::map(record(0, 0));
  EXPECT_EQ(ioctl(SAR_IOC_READ, addr), 0);
  EXPECT_EQ(writes_at(kCtrl, 0x0a20), 0u);
  ASSERT_EQ(writes_at(kCtrl), 1u);
  EXPECT_EQ(at(kCtrl)[1].value, 0x4000u);  // started from the reset state
}

TEST_F(SarIoctlTest, UnreadableRecordChangesNothing) {
  ASSERT_EQ(kb::sysfs::write(class_device(), "channel", "1"), 1);
  const uintptr_t half = kb::user::map(record(2, 0));
  kb::user::fault_from(half, 4);
  for (uintptr_t addr : {uintptr_t(0), uintptr_t(0x1000), half, uintptr_t(kb::user::kTaskSize)}) {
    SCOPED_TRACE(addr);
    EXPECT_EQ(ioctl(SAR_IOC_READ, addr), -EFAULT);
  }
  EXPECT_EQ(adc.starts(), 0u);
  EXPECT_TRUE(kb::mmio::accesses().empty());
  EXPECT_EQ(channel_shown(), "1\n");
  EXPECT_TRUE(kb::log().empty());
}

TEST_F(SarIoctlTest, UnwritableRecordFailsAfterTheConversion) {
  const uintptr_t addr = kb::user::map(record(2, 0));
  // The caller's memory goes away while the converter runs.
  kb::mmio::on_access([&](const kb::mmio::Access& a) {
    if (a.offset == SarConverter::data(2)) kb::user::unmap(addr);
  });
  EXPECT_EQ(ioctl(SAR_IOC_READ, addr), -EFAULT);
  EXPECT_EQ(adc.starts(), 1u);
  EXPECT_EQ(channel_shown(), "2\n");
}

TEST_F(SarIoctlTest, FileOpenedBeforeUnbindGetsNoDevice) {
  kb::MiscFile file("sar");
  ASSERT_TRUE(file.ok());
  kb::platform::unbind(pdev);
  const uintptr_t addr = kb::user::map(record(1, 0x55555555));
  EXPECT_EQ(file.ioctl(SAR_IOC_INIT, 0), -ENODEV);
  EXPECT_EQ(file.ioctl(SAR_IOC_READ, addr), -ENODEV);
  EXPECT_EQ(kb::user::read(addr, 8), record(1, 0x55555555));
  EXPECT_EQ(file.ioctl(0x6102, 0), -ENOTTY);
  EXPECT_TRUE(kb::mmio::accesses().empty());
}

TEST_F(SarIoctlTest, DeviceNodeOpensAndOffersNoReadOrWrite) {
  ASSERT_EQ(kb::misc_devices().size(), 1u);
  EXPECT_NE(kb::misc_devices()[0].minor, 255);  // a dynamic minor was assigned
  kb::MiscFile file("sar");
  ASSERT_TRUE(file.ok());
  const uintptr_t buf = kb::user::map(8);
  EXPECT_EQ(file.read(buf, 8), -EINVAL);
  EXPECT_EQ(file.write(buf, 8), -EINVAL);
  EXPECT_EQ(file.release(), 0);
}

}  // namespace
}  // namespace sar_test
