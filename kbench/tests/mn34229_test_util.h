/* SPDX-License-Identifier: GPL-2.0 */
// Shared fixture of the MN34229 driver tests: loads the driver into the
// bench with given parameters and brings pads up through the framework model.
#ifndef KBENCH_TESTS_MN34229_TEST_UTIL_H
#define KBENCH_TESTS_MN34229_TEST_UTIL_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kbench.h"
#include "sensor_framework_model.h"

extern "C" {
#include "mn34229.h"
int mn34229_test_write_table(struct camsensor_handle* handle, const struct reg_entry* table,
                             unsigned int rows);
}

namespace mn34229_test {

namespace sensorfw = models::sensorfw;

constexpr const char* kModule = "mn34229drv";
constexpr uint32_t kLine30 = 29629;
constexpr uint32_t kLine60 = 14800;

class Mn34229Test : public ::testing::Test {
 protected:
  void SetUp() override { kb::reset(); }

  void TearDown() override {
    const kb::ModuleInfo* info = kb::module_info(kModule);
    if (info && info->loaded) kb::unload(kModule);
    EXPECT_EQ(kb::mem::live(), 0u) << "private records leaked";
    for (const auto& v : kb::violations()) {
      ADD_FAILURE() << "kernel rule broken: " << v;
    }
  }

  int load(const std::string& chmap, const std::string& slave_id = "0") {
    EXPECT_TRUE(kb::set_param(kModule, "chmap", chmap));
    EXPECT_TRUE(kb::set_param(kModule, "i2c_slave_id", slave_id));
    return kb::load(kModule);
  }

  // Loads the driver for the pads in mask and creates their handles.
  void up(unsigned mask) {
    ASSERT_EQ(load(std::to_string(mask)), 0);
    for (unsigned pad = 0; pad < sensorfw::kPads; ++pad)
      if (mask & (1u << pad)) {
        ASSERT_EQ(sensorfw::create_handle(pad), 0);
      }
    sensorfw::clear_calls();
    kb::clear_log();
  }

  static camsensor_handle& h(unsigned pad = 0) { return sensorfw::handle(pad); }
  static mn34229_priv& priv(unsigned pad = 0) {
    return *static_cast<mn34229_priv*>(h(pad).private_data);
  }
};

// (register, value) rows of a data file: "row register value" per line, '#'
// starts a comment.
inline std::vector<std::pair<uint16_t, uint16_t>> load_rows(const std::string& file) {
  std::ifstream in(std::string(MN34229_TEST_DATA) + "/" + file);
  EXPECT_TRUE(in) << "cannot open " << file;
  std::vector<std::pair<uint16_t, uint16_t>> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    unsigned row = 0;
    std::string reg, value;
    fields >> row >> reg >> value;
    EXPECT_EQ(row, rows.size()) << "rows out of order in " << file;
    rows.emplace_back(std::stoul(reg, nullptr, 16), std::stoul(value, nullptr, 16));
  }
  return rows;
}

struct RowChange {
  unsigned row;
  uint16_t reg;
  uint16_t value_30;
  uint16_t value_60;
};

inline std::vector<RowChange> load_changes(const std::string& file) {
  std::ifstream in(std::string(MN34229_TEST_DATA) + "/" + file);
  EXPECT_TRUE(in) << "cannot open " << file;
  std::vector<RowChange> changes;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    unsigned row = 0;
    std::string reg, a, b;
    fields >> row >> reg >> a >> b;
    changes.push_back({row, uint16_t(std::stoul(reg, nullptr, 16)),
                       uint16_t(std::stoul(a, nullptr, 16)), uint16_t(std::stoul(b, nullptr, 16))});
  }
  return changes;
}

}  // namespace mn34229_test

#endif
