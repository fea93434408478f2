/* SPDX-License-Identifier: GPL-2.0 */
// sar-adc: initialises the SAR converter and prints raw readings of one or
// all channels through /dev/sar, once or repeatedly.
#ifndef TOOLS_ADCTOOL_ADCTOOL_H
#define TOOLS_ADCTOOL_ADCTOOL_H

#include <linux/tessel_sar.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "device.h"

namespace adctool {

// /dev/sar: one ioctl with an optional record.
using SarDevice = devtools::Device<sar_ioctl_data>;

constexpr char kDefaultDevice[] = "/dev/sar";

struct Env : devtools::DeviceEnv<SarDevice> {
  // Waits between readings; false ends the run (e.g. interrupted).
  std::function<bool(std::chrono::milliseconds)> sleep;
};

// Runs one command line (without the program name); returns the exit status.
int run(const std::vector<std::string>& args, const Env& env);

}  // namespace adctool

#endif
