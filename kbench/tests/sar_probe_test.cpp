// SPDX-License-Identifier: GPL-2.0
// Binding: probe, remove, suspend and resume, with the failures the
// kernel around the driver can produce.
#include <linux/device.h>
#include <linux/miscdevice.h>

#include <cerrno>
#include <functional>

#include "sar_fixture.h"

// qvsys.h says "struct class", which C++ cannot; the same function:
extern "C" struct kb_class* qvsys_get_sysfs_class(void);

namespace sar_test {
namespace {

using Events = std::vector<std::string>;

// Events of the clock model from index `from` on.
Events clk_events_from(size_t from) {
  const auto& ev = kb::clk::events();
  return Events(ev.begin() + std::ptrdiff_t(from), ev.end());
}

void expect_nothing_registered() {
  EXPECT_EQ(kb::find_misc("sar"), nullptr);
  EXPECT_TRUE(kb::sysfs::devices("qvsys").empty());
  EXPECT_EQ(kb::clk::live_handles(), 0u);
  EXPECT_EQ(kb::clk::state("sar_clk").prepare_count, 0u);
  EXPECT_EQ(kb::clk::state("sar_clk").enable_count, 0u);
  EXPECT_EQ(kb::mmio::live_mappings(), 0u);
  EXPECT_EQ(kb::mem::live(), 0u);
}

TEST_F(SarTest, ProbeRegistersBothWaysInAndStartsTheClockFromParentZero) {
  platform_device* pdev = bind();
  EXPECT_EQ(kb::platform::probe_result(pdev), 0);
  EXPECT_TRUE(kb::platform::bound(pdev));
  EXPECT_NE(kb::find_misc("sar"), nullptr);
  device* dev = class_device();
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(dev->devt, 0u);  // a device-tree device has no number
  EXPECT_EQ(dev->parent, nullptr);
  EXPECT_EQ(kb::clk::events(),
            (Events{"get sar_clk", "set_parent sar_clk osc", "prepare sar_clk", "enable sar_clk"}));
  EXPECT_EQ(kb::clk::state("sar_clk").parent, "osc");
  EXPECT_EQ(kb::clk::state("sar_clk").enable_count, 1u);
  EXPECT_TRUE(kb::mmio::accesses().empty());  // the converter is left alone
  EXPECT_TRUE(kb::log().empty());
}

TEST_F(SarTest, UnloadRemovesEverythingAndBalancesTheClock) {
  bind_ok();
  const size_t from = kb::clk::events().size();
  kb::unload("sar_adc");
  EXPECT_EQ(clk_events_from(from), (Events{"disable sar_clk", "unprepare sar_clk", "put sar_clk"}));
  expect_nothing_registered();
  EXPECT_TRUE(kb::sysfs::class_exists("qvsys"));  // the platform's, not ours
  EXPECT_EQ(kb::platform::drivers(), 0u);
}

TEST_F(SarTest, RemoveDestroysOnlyItsOwnClassDevice) {
  // Another driver's device in the shared class, also without a number and
  // created first, so a lookup by number would find it before ours.
  device* other = device_create(qvsys_get_sysfs_class(), nullptr, 0, nullptr, "other");
  ASSERT_FALSE(IS_ERR(other));
  platform_device* pdev = bind_ok();
  kb::platform::unbind(pdev);
  EXPECT_EQ(kb::sysfs::find("qvsys", "other"), other);
  EXPECT_EQ(kb::sysfs::find("qvsys", "sar"), nullptr);
  device_unregister(other);
}

TEST_F(SarTest, RebindStartsAfresh) {
  platform_device* pdev = bind_ok();
  ASSERT_EQ(kb::sysfs::write(class_device(), "channel", "3"), 1);
  qv_sar_hw_init();
  kb::platform::unbind(pdev);
  expect_nothing_registered();

  ASSERT_EQ(kb::platform::bind(pdev), 0);
  EXPECT_EQ(kb::sysfs::read(class_device(), "channel").text, "0\n");
  kb::mmio::clear();
  qv_sar_hw_init();
  EXPECT_EQ(writes_at(kCtrl, 0x0a20), 1u);
}

// A rebind must not leave the node's minor free for the next dynamic
// misc device of the system.
TEST_F(SarTest, RebindLeavesTheNextDynamicMinorFree) {
  platform_device* pdev = bind_ok();
  kb::platform::unbind(pdev);
  ASSERT_EQ(kb::platform::bind(pdev), 0);
  miscdevice other{};
  other.minor = MISC_DYNAMIC_MINOR;
  other.name = "other";
  ASSERT_EQ(misc_register(&other), 0);
  EXPECT_NE(other.minor, kb::find_misc("sar")->minor);
  misc_deregister(&other);
}

TEST_F(SarTest, SecondConverterIsRefused) {
  bind_ok();
  kb::platform::DeviceDesc second = board_spec();
  second.name = "1f003000.sar";
  second.mem = {{kBase + 0x1000, 0x1000}};
  platform_device* pdev = kb::platform::add(second);
  EXPECT_EQ(kb::platform::probe_result(pdev), -EBUSY);
  EXPECT_EQ(kb::clk::live_handles(), 1u);
  adc.set_input(1, 77);
  EXPECT_EQ(qv_sar_get(1), 77);  // the first one still answers
  kb::platform::remove(pdev);
}

TEST_F(SarTest, WithoutClockSuspendOnlyForgetsTheInitialisation) {
  kb::platform::DeviceDesc desc = board_spec();
  desc.of_node->clocks.clear();
  platform_device* pdev = bind_ok(desc);
  qv_sar_hw_init();
  EXPECT_EQ(kb::platform::suspend(pdev), 0);
  EXPECT_EQ(kb::platform::resume(pdev), 0);
  qv_sar_hw_init();
  EXPECT_EQ(writes_at(kCtrl, 0x0a20), 2u);
  kb::unload("sar_adc");
  EXPECT_TRUE(kb::clk::events().empty());
  expect_nothing_registered();
}

TEST_F(SarTest, SuspendAndResumeSwitchTheClockOnly) {
  platform_device* pdev = bind_ok();
  size_t from = kb::clk::events().size();
  EXPECT_EQ(kb::platform::suspend(pdev), 0);
  EXPECT_EQ(clk_events_from(from), (Events{"disable sar_clk", "unprepare sar_clk"}));
  from = kb::clk::events().size();
  EXPECT_EQ(kb::platform::resume(pdev), 0);
  EXPECT_EQ(clk_events_from(from), (Events{"prepare sar_clk", "enable sar_clk"}));
  EXPECT_TRUE(kb::mmio::accesses().empty());
}

TEST_F(SarTest, ClockWithoutParentZeroRunsAsItIs) {
  kb::clk::add("fixed");
  kb::platform::DeviceDesc desc = board_spec();
  desc.of_node->clocks = {"fixed"};
  bind_ok(desc);
  EXPECT_EQ(kb::clk::events(), (Events{"get fixed", "prepare fixed", "enable fixed"}));
  kb::unload("sar_adc");
  EXPECT_EQ(kb::clk::state("fixed").enable_count, 0u);
  EXPECT_EQ(kb::clk::state("fixed").prepare_count, 0u);
  EXPECT_EQ(kb::clk::state("fixed").handles, 0u);
}

// A clock call that fails never fails the probe, and whatever the clock
// ended up as, every later call stays balanced.
struct ClockFailure {
  const char* what;
  kb::clk::Op op;
  Events at_probe;
  Events at_suspend;
  Events at_resume;
  Events at_remove;
};

void PrintTo(const ClockFailure& c, std::ostream* os) { *os << c.what; }

class SarClockFailureTest : public SarTest, public testing::WithParamInterface<ClockFailure> {};

TEST_P(SarClockFailureTest, ProbeGoesOnAndTheClockStaysBalanced) {
  const ClockFailure& c = GetParam();
  kb::clk::fail_next(c.op, "sar_clk", -EIO);
  platform_device* pdev = bind_ok();
  EXPECT_EQ(kb::clk::events(), c.at_probe);
  EXPECT_NE(class_device(), nullptr);
  EXPECT_NE(kb::find_misc("sar"), nullptr);

  size_t from = kb::clk::events().size();
  EXPECT_EQ(kb::platform::suspend(pdev), 0);
  EXPECT_EQ(clk_events_from(from), c.at_suspend);
  from = kb::clk::events().size();
  EXPECT_EQ(kb::platform::resume(pdev), 0);
  EXPECT_EQ(clk_events_from(from), c.at_resume);
  from = kb::clk::events().size();
  kb::unload("sar_adc");
  EXPECT_EQ(clk_events_from(from), c.at_remove);
  expect_nothing_registered();
}

const Events kOn = {"prepare sar_clk", "enable sar_clk"};
const Events kOff = {"disable sar_clk", "unprepare sar_clk"};
const Events kOffAndPut = {"disable sar_clk", "unprepare sar_clk", "put sar_clk"};

INSTANTIATE_TEST_SUITE_P(
    Clock, SarClockFailureTest,
    testing::Values(ClockFailure{"get", kb::clk::Op::Get, {"get sar_clk failed"}, {}, {}, {}},
                    ClockFailure{"set_parent",
                                 kb::clk::Op::SetParent,
                                 {"get sar_clk", "set_parent sar_clk failed", "prepare sar_clk",
                                  "enable sar_clk"},
                                 kOff,
                                 kOn,
                                 kOffAndPut},
                    ClockFailure{
                        "prepare",
                        kb::clk::Op::Prepare,
                        {"get sar_clk", "set_parent sar_clk osc", "prepare sar_clk failed"},
                        {},
                        kOn,
                        kOffAndPut},
                    ClockFailure{"enable",
                                 kb::clk::Op::Enable,
                                 {"get sar_clk", "set_parent sar_clk osc", "prepare sar_clk",
                                  "enable sar_clk failed", "unprepare sar_clk"},
                                 {},
                                 kOn,
                                 kOffAndPut}),
    [](const testing::TestParamInfo<ClockFailure>& info) { return std::string(info.param.what); });

// Probe failures before anything is registered: the probe returns the
// error and leaves nothing behind, not even a register access.
struct ProbeFailure {
  const char* what;
  std::function<void(kb::platform::DeviceDesc&)> arrange;
  int result;
};

void PrintTo(const ProbeFailure& c, std::ostream* os) { *os << c.what; }

class SarProbeFailureTest : public SarTest, public testing::WithParamInterface<ProbeFailure> {};

TEST_P(SarProbeFailureTest, FailsCleanly) {
  const ProbeFailure& c = GetParam();
  kb::platform::DeviceDesc desc = board_spec();
  c.arrange(desc);
  platform_device* pdev = bind(desc);
  EXPECT_EQ(kb::platform::probe_result(pdev), c.result);
  EXPECT_FALSE(kb::platform::bound(pdev));
  EXPECT_TRUE(kb::clk::events().empty());
  EXPECT_TRUE(kb::mmio::accesses().empty());
  expect_nothing_registered();

  // Once the cause is gone the device binds.
  kb::platform::remove(pdev);
  EXPECT_EQ(kb::platform::probe_result(kb::platform::add(board_spec())), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Probe, SarProbeFailureTest,
    testing::Values(
        ProbeFailure{"no_memory_resource", [](kb::platform::DeviceDesc& s) { s.mem.clear(); },
                     -ENODEV},
        ProbeFailure{"record_allocation", [](kb::platform::DeviceDesc&) { kb::mem::fail_nth(1); },
                     -ENOMEM},
        ProbeFailure{"mapping", [](kb::platform::DeviceDesc&) { kb::mmio::fail_next_ioremap(); },
                     -ENOMEM},
        ProbeFailure{"clock_not_ready",
                     [](kb::platform::DeviceDesc& s) { s.of_node->clocks = {"late_clk"}; },
                     -EPROBE_DEFER}),
    [](const testing::TestParamInfo<ProbeFailure>& info) { return std::string(info.param.what); });

TEST_F(SarTest, MiscRegistrationFailureKeepsSysfsAndIsNotDeregistered) {
  kb::fail_next_misc_register(-EBUSY);
  bind_ok();
  EXPECT_EQ(kb::find_misc("sar"), nullptr);
  ASSERT_NE(class_device(), nullptr);
  adc.set_input(0, 5);
  EXPECT_EQ(kb::sysfs::read(class_device(), "value").text, "5\n");
  kb::unload("sar_adc");  // a deregistration of it would be a violation
  expect_nothing_registered();
}

TEST_F(SarTest, ClassDeviceFailureLeavesTheDeviceNode) {
  kb::sysfs::fail_next_device_create(-ENOMEM);
  bind_ok();
  EXPECT_TRUE(kb::sysfs::devices("qvsys").empty());
  kb::MiscFile file("sar");
  ASSERT_TRUE(file.ok());
  EXPECT_EQ(file.ioctl(SAR_IOC_INIT, 0), 0);
  file.release();
  kb::unload("sar_adc");
  expect_nothing_registered();
}

TEST_F(SarTest, AttributeFailureLeavesTheDeviceNode) {
  kb::sysfs::fail_next_create_file("value", -ENOMEM);
  bind_ok();
  EXPECT_TRUE(kb::sysfs::devices("qvsys").empty());
  EXPECT_NE(kb::find_misc("sar"), nullptr);
  kb::unload("sar_adc");
  expect_nothing_registered();
}

TEST_F(SarTest, ModuleDeclaresLicenceDescriptionAndPlatformAlias) {
  const kb::ModuleInfo* info = kb::module_info("sar_adc");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->tag("license"), "GPL");
  EXPECT_EQ(info->tag("description"), "tessel Sar Device Driver");
  EXPECT_EQ(info->tag("alias"), "platform:tessel-sar");
}

TEST_F(SarTest, BindsByCompatibleNotByNodeName) {
  kb::platform::DeviceDesc desc = board_spec();
  desc.of_node->compatible = {"qrvn,tessel-adc"};
  platform_device* pdev = bind(desc);
  EXPECT_FALSE(kb::platform::probe_result(pdev).has_value());
  desc.of_node->compatible = {"vendor,board-sar", "qrvn,tessel-sar"};
  desc.name = "1f002000.sar2";
  kb::platform::remove(pdev);
  EXPECT_EQ(kb::platform::probe_result(kb::platform::add(desc)), 0);
}

}  // namespace
}  // namespace sar_test
