// SPDX-License-Identifier: GPL-2.0
// The bench's register windows, clocks, classes and kernel string helpers:
// the rules they enforce are what driver tests rely on to catch faults.
#include <gtest/gtest.h>

#include <linux/clk-provider.h>
#include <linux/clk.h>
#include <linux/device.h>
#include <linux/io.h>
#include <linux/kernel.h>
#include <linux/platform_device.h>
#include <linux/spinlock.h>

#include <cerrno>
#include <string>

#include "clk.h"
#include "kbench.h"
#include "mmio.h"
#include "platform.h"
#include "sar_converter.h"
#include "sysfs.h"

namespace {

using Strings = std::vector<std::string>;

class Ext : public ::testing::Test {
 protected:
  void SetUp() override { kb::reset(); }
};

bool violated(const std::string& what) {
  for (const auto& v : kb::violations())
    if (v.find(what) != std::string::npos) return true;
  return false;
}

TEST_F(Ext, ClockCountsMustStayBalanced) {
  kb::clk::add("osc");
  kb::clk::add("mux", {"osc", "pll"}, 1);
  kb::platform::DeviceDesc desc{
      "dev", kb::platform::Node{"dev", {"x,y"}, {"mux", "missing"}}, {}, 0};
  platform_device* pdev = kb::platform::add(desc);
  device_node* np = pdev->dev.of_node;
  EXPECT_EQ(PTR_ERR(of_clk_get(np, 1)), -EPROBE_DEFER);  // provider not there
  EXPECT_EQ(PTR_ERR(of_clk_get(np, 2)), -ENOENT);
  EXPECT_EQ(PTR_ERR(of_clk_get(nullptr, 0)), -ENOENT);

  struct clk* c = of_clk_get(np, 0);
  ASSERT_FALSE(IS_ERR(c));
  struct clk_hw* hw = __clk_get_hw(c);
  EXPECT_EQ(clk_hw_get_num_parents(hw), 2u);
  EXPECT_EQ(clk_hw_get_parent_by_index(hw, 1), nullptr);  // "pll" never registered
  EXPECT_EQ(clk_set_parent(c, clk_hw_get_parent_by_index(hw, 0)->clk), 0);
  EXPECT_EQ(kb::clk::state("mux").parent, "osc");

  EXPECT_EQ(clk_enable(c), -ESHUTDOWN);
  EXPECT_TRUE(violated("enabling unprepared mux"));
  EXPECT_EQ(clk_prepare_enable(c), 0);
  clk_unprepare(c);
  EXPECT_TRUE(violated("unpreparing enabled mux"));
  clk_disable(c);
  clk_disable(c);
  EXPECT_TRUE(violated("mux already disabled"));
  clk_put(c);
  clk_prepare(c);
  EXPECT_TRUE(violated("clk_prepare on a clock that was put"));
  EXPECT_EQ(kb::clk::live_handles(), 0u);
}

TEST_F(Ext, SleepingClockCallsInAtomicContextAreViolations) {
  kb::clk::add("osc");
  kb::platform::DeviceDesc desc{"dev", kb::platform::Node{"dev", {}, {"osc"}}, {}, 0};
  platform_device* pdev = kb::platform::add(desc);
  struct clk* c = of_clk_get(pdev->dev.of_node, 0);
  DEFINE_SPINLOCK(lock);
  unsigned long flags;
  spin_lock_irqsave(&lock, flags);
  EXPECT_EQ(clk_prepare(c), 0);
  EXPECT_EQ(clk_enable(c), 0);  // atomic-safe
  spin_unlock_irqrestore(&lock, flags);
  EXPECT_EQ(kb::violations(), Strings{"clk_prepare in atomic context"});
}

TEST_F(Ext, RegisterAccessesReachTheModelAndStaleOnesAreCaught) {
  kb::SarConverter adc;
  kb::mmio::attach(0x40000000, kb::SarConverter::kWindowSize, &adc);
  void __iomem* base = ioremap(0x40000100, 0x100);  // a window into the middle
  ASSERT_NE(base, nullptr);
  char __iomem* regs = static_cast<char*>(base);
  writel(0x12345678, regs + 0x44);
  EXPECT_EQ(readw_relaxed(regs + 0x44), 0x5678u);  // 16-bit registers
  writel_relaxed(0x4000, regs + 0x80);
  const auto& acc = kb::mmio::accesses();
  ASSERT_EQ(acc.size(), 3u);
  EXPECT_EQ(acc[0].offset, 0x144u);  // from the device's base, not the mapping's
  EXPECT_EQ(acc[0].value, 0x12345678u);
  EXPECT_FALSE(acc[0].relaxed);
  EXPECT_EQ(acc[1].width, 16u);
  EXPECT_TRUE(acc[2].relaxed);
  EXPECT_EQ(adc.odd_accesses(), 1u);
  EXPECT_EQ(adc.peek(0x180), 0x4000);
  EXPECT_FALSE(adc.busy());  // the start bit of another register starts nothing

  iounmap(base);
  EXPECT_EQ(readl(base), 0xffffffffu);
  EXPECT_TRUE(violated("read through an address no live mapping covers"));
  void __iomem* nothing = ioremap(0x50000000, 0x10);
  writel(1, nothing);
  EXPECT_TRUE(violated("where no device sits"));
  iounmap(nothing);
  kb::mmio::fail_next_ioremap();
  EXPECT_EQ(ioremap(0x40000000, 4), nullptr);
  EXPECT_EQ(kb::mmio::live_mappings(), 0u);
}

TEST_F(Ext, ManagedMappingsClaimTheirRegionUntilReleased) {
  kb::platform::DeviceDesc desc{
      "dev", std::nullopt, {{0x40000000, 0x1000}, {0x40000800, 0x100}}, 0};
  platform_device* pdev = kb::platform::add(desc);
  resource io{0, 0xff, "io", IORESOURCE_IO};
  EXPECT_EQ(PTR_ERR(devm_ioremap_resource(&pdev->dev, nullptr)), -EINVAL);
  EXPECT_EQ(PTR_ERR(devm_ioremap_resource(&pdev->dev, &io)), -EINVAL);
  EXPECT_FALSE(IS_ERR(devm_platform_ioremap_resource(pdev, 0)));
  EXPECT_EQ(PTR_ERR(devm_platform_ioremap_resource(pdev, 1)), -EBUSY);   // overlaps 0
  EXPECT_EQ(PTR_ERR(devm_platform_ioremap_resource(pdev, 2)), -EINVAL);  // no such resource
  kb::devres_release_all(&pdev->dev);
  EXPECT_EQ(kb::mmio::live_mappings(), 0u);
  EXPECT_FALSE(IS_ERR(devm_platform_ioremap_resource(pdev, 1)));
  kb::mmio::fail_next_ioremap();
  kb::devres_release_all(&pdev->dev);
  EXPECT_EQ(PTR_ERR(devm_platform_ioremap_resource(pdev, 0)), -ENOMEM);
}

ssize_t echo_show(device*, device_attribute*, char* buf) {
  return scnprintf(buf, PAGE_SIZE, "x\n");
}
std::string stored;
ssize_t echo_store(device*, device_attribute*, const char* buf, size_t count) {
  stored = std::string(buf) + "|" + std::to_string(count);
  return ssize_t(count);
}

TEST_F(Ext, ClassDevicesAndAttributeFiles) {
  kb_class* cls = kb_class_create(nullptr, "things");
  EXPECT_EQ(PTR_ERR(kb_class_create(nullptr, "things")), -EEXIST);
  EXPECT_EQ(PTR_ERR(device_create(nullptr, nullptr, 0, nullptr, "a")), -ENODEV);
  device* a = device_create(cls, nullptr, 0, nullptr, "a%d", 1);
  device* b = device_create(cls, nullptr, 0, nullptr, "b");
  EXPECT_EQ(PTR_ERR(device_create(cls, nullptr, 0, nullptr, "b")), -EEXIST);

  static device_attribute rw = {{"rw", 0644}, echo_show, echo_store};
  static device_attribute ro = {{"ro", 0444}, echo_show, nullptr};
  static device_attribute bad = {{"bad", 0644}, echo_show, nullptr};
  EXPECT_EQ(device_create_file(b, &rw), 0);
  EXPECT_EQ(device_create_file(b, &rw), -EEXIST);
  EXPECT_EQ(device_create_file(b, &ro), 0);
  EXPECT_EQ(device_create_file(b, &bad), 0);
  EXPECT_EQ(kb::violations(), Strings{"attribute bad: write permission without store"});
  EXPECT_EQ(kb::sysfs::write(b, "ro", "1"), -EACCES);
  EXPECT_EQ(kb::sysfs::write(b, "nope", "1"), -ENOENT);
  EXPECT_EQ(kb::sysfs::write(b, "rw", ""), 0);
  EXPECT_EQ(stored, "");
  EXPECT_EQ(kb::sysfs::write(b, "rw", std::string(PAGE_SIZE + 1, '1')), -E2BIG);
  EXPECT_EQ(kb::sysfs::write(b, "rw", "12"), 2);
  EXPECT_EQ(stored, "12|2");
  EXPECT_EQ(kb::sysfs::read(b, "ro").text, "x\n");

  // As the kernel: the first device with that number, whoever's it is.
  device_destroy(cls, 0);
  EXPECT_EQ(kb::sysfs::devices("things"), std::vector<device*>{b});
  (void)a;
  class_destroy(cls);
  EXPECT_TRUE(violated("destroyed with devices left in it"));
  EXPECT_EQ(kb::sysfs::live_devices(), 0u);
}

TEST_F(Ext, SimpleStrtoulFollowsTheKernel) {
  const struct {
    const char* text;
    unsigned base;
    unsigned long long value;
    size_t used;
  } cases[] = {
      {"12abc", 10, 12, 2}, {" 1", 10, 0, 0},
      {"-1", 10, 0, 0},     {"0x1f", 16, 31, 4},
      {"0x1f", 0, 31, 4},   {"017", 0, 15, 3},
      {"0x", 0, 0, 1},      {"1f", 16, 31, 2},
      {"", 10, 0, 0},       {"18446744073709551617", 10, 1, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    char* end = nullptr;
    EXPECT_EQ(simple_strtoull(c.text, &end, c.base), c.value);
    EXPECT_EQ(size_t(end - c.text), c.used);
  }
  EXPECT_EQ(simple_strtoul("4294967295", nullptr, 10), 4294967295ul);
}

TEST_F(Ext, ConverterModelFinishesAfterTheConfiguredReads) {
  kb::SarConverter adc;
  adc.set_input(3, 0xabcd);
  adc.set_busy_reads(1);
  adc.write(kb::SarConverter::kCtrl, 0x4a20, 32);
  EXPECT_TRUE(adc.busy());
  EXPECT_EQ(adc.read(kb::SarConverter::kCtrl, 32), 0x4a20u);
  EXPECT_EQ(adc.read(kb::SarConverter::data(3), 32), 0u);  // not latched yet
  EXPECT_EQ(adc.read(kb::SarConverter::kCtrl, 32), 0x0a20u);
  EXPECT_EQ(adc.read(kb::SarConverter::data(3), 32), 0xabcdu);
  adc.write(kb::SarConverter::data(3), 1, 32);  // read-only
  EXPECT_EQ(adc.peek(kb::SarConverter::data(3)), 0xabcd);
  adc.set_busy_reads(std::nullopt);
  adc.write(kb::SarConverter::kCtrl, 0x4000, 32);
  for (int i = 0; i < 1000; ++i) adc.read(kb::SarConverter::kCtrl, 32);
  EXPECT_TRUE(adc.busy());
  EXPECT_EQ(adc.starts(), 2u);
  EXPECT_EQ(adc.completions(), 1u);
}

}  // namespace
