// SPDX-License-Identifier: GPL-2.0
// sar-adc: raw readings of the SAR converter through /dev/sar.
#include <fcntl.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "adctool.h"
#include "program.h"

namespace {

bool sleep_for(std::chrono::milliseconds interval) {
  const auto ms = interval.count();
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  return devtools::run_main("sar-adc", argc, argv,
                            [](const std::vector<std::string>& args,
                               const devtools::Console& console, const bool& out_failed) {
                              adctool::Env env;
                              env.console = console;
                              env.open = [](const std::string& path, int& error) {
                                return devtools::open_device<sar_ioctl_data>(path, O_RDONLY, error);
                              };
                              // A reading that cannot be written ends an endless run.
                              env.sleep = [&out_failed](std::chrono::milliseconds ms) {
                                return !out_failed && sleep_for(ms);
                              };
                              return adctool::run(args, env);
                            });
}
