/* SPDX-License-Identifier: GPL-2.0 */
// A bench board for the SAR converter driver: the converter model behind
// its register window, a clock tree, the platform class stand-in, and the
// device-tree node the driver binds to.
#ifndef KBENCH_TESTS_SAR_FIXTURE_H
#define KBENCH_TESTS_SAR_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "clk.h"
#include "kbench.h"
#include "mmio.h"
#include "platform.h"
#include "sar_converter.h"
#include "sysfs.h"

extern "C" {
#include <linux/tessel_sar.h>

#include "sar_adc.h"
}

struct platform_device;

namespace sar_test {

constexpr uint64_t kBase = 0x1f002000;
constexpr uint32_t kCtrl = kb::SarConverter::kCtrl;
constexpr uint32_t kChan = kb::SarConverter::kChan;
constexpr const char* kErrChannel = "error channel,support SAR0,SAR1,SAR2,SAR3\n";
constexpr const char* kUnknown = "ioctl: unknown command\n";

// The board as the device tree describes it: converter at kBase, its
// clock "sar_clk" muxed between "osc" (parent 0) and "pll", running from
// "pll" until the driver picks parent 0.
inline kb::platform::DeviceDesc board_spec() {
  kb::platform::DeviceDesc desc;
  desc.name = "1f002000.sar";
  desc.of_node = kb::platform::Node{"sar@1f002000", {"qrvn,tessel-sar"}, {"sar_clk"}};
  desc.mem = {{kBase, 0x1000}};
  return desc;
}

class SarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kb::reset();
    kb::mmio::attach(kBase, kb::SarConverter::kWindowSize, &adc);
    kb::clk::add("osc");
    kb::clk::add("pll");
    kb::clk::add("sar_clk", {"osc", "pll"}, 1);
    ASSERT_EQ(kb::load("qvsys"), 0);
  }

  void TearDown() override {
    if (loaded("sar_adc")) kb::unload("sar_adc");
    if (loaded("qvsys")) kb::unload("qvsys");
    EXPECT_EQ(kb::violations(), std::vector<std::string>{});
  }

  static bool loaded(const char* module) {
    const kb::ModuleInfo* info = kb::module_info(module);
    return info && info->loaded;
  }

  // Adds the device and loads the driver, which binds to it.
  platform_device* bind(const kb::platform::DeviceDesc& desc = board_spec()) {
    platform_device* pdev = kb::platform::add(desc);
    EXPECT_EQ(kb::load("sar_adc"), 0);
    return pdev;
  }

  // Binds and checks that the probe succeeded; clears the access record.
  platform_device* bind_ok(const kb::platform::DeviceDesc& desc = board_spec()) {
    platform_device* pdev = bind(desc);
    EXPECT_EQ(kb::platform::probe_result(pdev), 0);
    kb::mmio::clear();
    kb::clear_log();
    return pdev;
  }

  static device* class_device() { return kb::sysfs::find("qvsys", "sar"); }

  // Accesses to one bus offset, optionally only reads or only writes.
  static std::vector<kb::mmio::Access> at(uint32_t offset) {
    std::vector<kb::mmio::Access> out;
    for (const auto& a : kb::mmio::accesses())
      if (a.offset == offset) out.push_back(a);
    return out;
  }
  static size_t writes_at(uint32_t offset, std::optional<uint32_t> value = std::nullopt) {
    size_t n = 0;
    for (const auto& a : at(offset))
      if (a.write && (!value || a.value == *value)) ++n;
    return n;
  }
  static size_t reads_at(uint32_t offset) {
    size_t n = 0;
    for (const auto& a : at(offset)) n += !a.write;
    return n;
  }

  kb::SarConverter adc;
};

}  // namespace sar_test

#endif
