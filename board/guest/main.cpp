// SPDX-License-Identifier: GPL-2.0
// Guest test program of the virtual board. Runs one group of checks on the
// loaded modules through their device nodes, sysfs and the test models'
// debugfs files, printing a PASS or FAIL line per check.
//
//   board_check GROUP     GROUP: i2c, i2c-tools, inject, inject-late, sar, sar-rebind,
//   sar-exports, sensor, smoke, tools
//
// Exits 0 when every check of the group passed, 1 otherwise, 2 on usage.

#include <cstdio>
#include <string_view>

#include "checks.h"
#include "fault_sweep.h"
#include "i2c_checks.h"
#include "sar_checks.h"
#include "sensor_checks.h"
#include "tool_checks.h"

namespace {

struct Group {
  std::string_view name;
  void (*run)(board::Checks&);
};

void run_smoke(board::Checks& c) {
  board::run_i2c_smoke(c);
  board::run_sar_smoke(c);
  board::run_sensor_smoke(c);
}

constexpr Group kGroups[] = {
    {"i2c", board::run_i2c_checks},
    {"inject", board::run_inject_checks},
    {"inject-late", board::run_inject_late_checks},
    {"sar", board::run_sar_checks},
    {"sar-rebind", board::run_sar_rebind_checks},
    {"sar-exports", board::run_sar_export_checks},
    {"sensor", board::run_sensor_checks},
    {"smoke", run_smoke},
    {"tools", board::run_tool_checks},
    {"i2c-tools", board::run_i2c_tool_checks},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2) {
    for (const auto& group : kGroups) {
      if (group.name == argv[1]) {
        board::Checks checks;
        group.run(checks);
        return checks.failed() == 0 ? 0 : 1;
      }
    }
  }
  std::fprintf(stderr,
               "usage: board_check "
               "i2c|i2c-tools|inject|inject-late|sar|sar-rebind|sar-exports|sensor|smoke|tools\n");
  return 2;
}
