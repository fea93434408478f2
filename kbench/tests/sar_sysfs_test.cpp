// SPDX-License-Identifier: GPL-2.0
// The class device "sar": the channel and value attributes.
#include <cerrno>

#include "sar_fixture.h"

namespace sar_test {
namespace {

using kb::SarConverter;

class SarSysfsTest : public SarTest {
 protected:
  void SetUp() override {
    SarTest::SetUp();
    pdev = bind_ok();
    dev = class_device();
    ASSERT_NE(dev, nullptr);
    for (unsigned n = 0; n < SarConverter::kChannels; ++n) adc.set_input(n, uint16_t(0x200 + n));
  }
  std::string shown(const char* attr) const { return kb::sysfs::read(dev, attr).text; }
  platform_device* pdev = nullptr;
  device* dev = nullptr;
};

TEST_F(SarSysfsTest, ClassDeviceCarriesChannelAndValue) {
  EXPECT_EQ(kb::sysfs::attributes(dev), (std::vector<std::string>{"channel", "value"}));
  // Already there when udev hears of the device.
  EXPECT_EQ(kb::sysfs::attributes_at_add(dev), (std::vector<std::string>{"channel", "value"}));
  EXPECT_EQ(kb::sysfs::mode(dev, "channel"), 0644);
  EXPECT_EQ(kb::sysfs::mode(dev, "value"), 0444);
  EXPECT_EQ(kb::sysfs::write(dev, "value", "1"), -EACCES);
  EXPECT_EQ(shown("channel"), "0\n");
}

TEST_F(SarSysfsTest, ChannelTakesZeroToThree) {
  const struct {
    std::string text;
    const char* shown;
  } cases[] = {{"2\n", "2\n"}, {"3", "3\n"}, {"0", "0\n"}, {"+1", "1\n"}, {"02\n", "2\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(kb::sysfs::write(dev, "channel", c.text), ssize_t(c.text.size()));
    EXPECT_EQ(shown("channel"), c.shown);
  }
}

TEST_F(SarSysfsTest, ChannelRefusesAnythingElseAndKeepsTheChannel) {
  ASSERT_EQ(kb::sysfs::write(dev, "channel", "1"), 1);
  const std::string refused[] = {" 2",
                                 "\t2",
                                 "\n",
                                 "\v",
                                 "\r2",
                                 std::string{'\xa0', '2'},
                                 std::string{'\0', '2'},
                                 "abc",
                                 "-1",
                                 "4",
                                 "7",
                                 "99999999999",
                                 "4294967295",
                                 "4294967299",
                                 "12abc\n",
                                 "2 3",
                                 "0x3",
                                 "2\n\n",
                                 "-0"};
  for (const std::string& text : refused) {
    SCOPED_TRACE(text);
    EXPECT_EQ(kb::sysfs::write(dev, "channel", text), -EINVAL);
    EXPECT_EQ(shown("channel"), "1\n");
  }
}

TEST_F(SarSysfsTest, ValueInitialisesFirstThenReadsTheSelectedChannel) {
  ASSERT_EQ(kb::sysfs::write(dev, "channel", "3"), 1);
  kb::mmio::clear();
  EXPECT_EQ(shown("value"), std::to_string(0x203) + "\n");
  ASSERT_EQ(writes_at(kCtrl), 2u);
  EXPECT_EQ(at(kCtrl)[1].value, 0x0a20u);  // initialised before the start
  EXPECT_TRUE(at(kCtrl)[1].write);

  ASSERT_EQ(kb::sysfs::write(dev, "channel", "2"), 1);
  EXPECT_EQ(shown("value"), std::to_string(0x202) + "\n");
  EXPECT_EQ(writes_at(kCtrl, 0x0a20), 1u);  // initialised only once
}

TEST_F(SarSysfsTest, ValuePrintsTheWholeSixteenBits) {
  adc.set_input(0, 0xffff);
  EXPECT_EQ(kb::sysfs::read(dev, "value").ret, 6);
  EXPECT_EQ(shown("value"), "65535\n");
}

TEST_F(SarSysfsTest, ValueInitialisesAgainAfterSuspend) {
  EXPECT_EQ(shown("value"), "512\n");
  EXPECT_EQ(shown("value"), "512\n");
  EXPECT_EQ(writes_at(kCtrl, 0x0a20), 1u);
  EXPECT_EQ(kb::platform::suspend(pdev), 0);
  EXPECT_EQ(kb::platform::resume(pdev), 0);
  EXPECT_EQ(shown("value"), "512\n");
  EXPECT_EQ(writes_at(kCtrl, 0x0a20), 2u);
}

}  // namespace
}  // namespace sar_test
