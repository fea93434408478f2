/* SPDX-License-Identifier: GPL-2.0 */
// The bench around gpio_i2c: its two lines with a logic analyser and the
// slave at 0x68 on them, and helpers to call the device as user space does.
#ifndef KBENCH_TESTS_GPIO_I2C_FIXTURE_H
#define KBENCH_TESTS_GPIO_I2C_FIXTURE_H

#include <gtest/gtest.h>

#include <linux/rjgt102_i2c.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "i2c_slave.h"
#include "kbench.h"
#include "waveform.h"

namespace gpio_i2c_test {

constexpr unsigned kScl = 12;
constexpr unsigned kSda = 13;
constexpr char kModule[] = "gpio_i2c";
constexpr char kDevice[] = "rjgt102_i2c";

inline std::vector<uint8_t> to_bytes(const gpioi2c_block& b) {
  std::vector<uint8_t> out(sizeof(b));
  std::memcpy(out.data(), &b, sizeof(b));
  return out;
}

inline gpioi2c_block from_bytes(const std::vector<uint8_t>& bytes) {
  gpioi2c_block b;
  std::memcpy(&b, bytes.data(), sizeof(b));
  return b;
}

inline gpioi2c_block block(uint8_t start, uint8_t count, std::vector<uint8_t> data = {}) {
  gpioi2c_block b{};
  b.start_reg = start;
  b.count = count;
  for (size_t k = 0; k < data.size() && k < sizeof(b.data); ++k) b.data[k] = data[k];
  return b;
}

// SDA as sampled on each rising SCL edge, from the recorded waveform.
inline std::vector<int> bits_on_wire(const kb::models::Waveform& w) {
  int scl = w.initial_level(0), sda = w.initial_level(1);
  std::vector<int> bits;
  for (const auto& c : w.changes()) {
    if (c.signal == 1) {
      sda = c.level;
    } else {
      if (c.level && !scl) bits.push_back(sda);
      scl = c.level;
    }
  }
  return bits;
}

class GpioI2cBench : public ::testing::Test {
 protected:
  void SetUp() override {
    kb::reset();
    wave_ = std::make_unique<kb::models::Waveform>(
        std::vector<kb::models::Waveform::Signal>{{kScl, "scl"}, {kSda, "sda"}});
    slave_ = std::make_unique<kb::models::I2cSlave>(kScl, kSda, 0x68);
    for (int r = 0; r < 256; ++r) slave_->reg(uint8_t(r)) = uint8_t(r ^ 0x5A);
  }

  void TearDown() override {
    // The waveform of every test, for a logic-analyser view of the bus.
    if (const char* dir = std::getenv("VCD_DIR")) {
      const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
      std::string name = std::string(info->test_suite_name()) + "." + info->name();
      for (char& c : name)
        if (c == '/') c = '_';
      EXPECT_TRUE(wave_->write_vcd(std::string(dir) + "/" + name + ".vcd"));
    }
    const kb::ModuleInfo* mod = kb::module_info(kModule);
    if (mod && mod->loaded) kb::unload(kModule);
    EXPECT_EQ(kb::violations(), std::vector<std::string>{});
    EXPECT_EQ(kb::locks_held(), 0);
    EXPECT_TRUE(kb::irqs_enabled());
  }

  void load() {
    ASSERT_EQ(kb::load(kModule), 0);
    slave_->clear_tokens();
  }

  // One ioctl on a fresh open of the device with the block in user memory;
  // the block is read back into *b afterwards.
  long call(unsigned cmd, gpioi2c_block* b) {
    uintptr_t addr = kb::user::map(to_bytes(*b));
    long ret = ioctl_at(cmd, addr);
    *b = from_bytes(kb::user::read(addr, sizeof(*b)));
    return ret;
  }

  long ioctl_at(unsigned cmd, uintptr_t addr) {
    kb::MiscFile f(kDevice);
    EXPECT_TRUE(f.ok());
    start_ns_ = kb::now_ns();
    long ret = f.ioctl(cmd, addr);
    elapsed_ns_ = kb::now_ns() - start_ns_;
    return ret;
  }

  std::unique_ptr<kb::models::Waveform> wave_;
  std::unique_ptr<kb::models::I2cSlave> slave_;
  uint64_t start_ns_ = 0;
  uint64_t elapsed_ns_ = 0;
};

}  // namespace gpio_i2c_test

#endif
