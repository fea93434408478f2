// sar-adc: initialises the SAR converter and prints raw readings of one or
// all channels through /dev/sar, once or repeatedly.
#ifndef TOOLS_ADCTOOL_ADCTOOL_H
#define TOOLS_ADCTOOL_ADCTOOL_H

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "sar_device.h"

namespace adctool {

constexpr char kDefaultDevice[] = "/dev/sar";

struct Env {
  devtools::Console console;
  // Opens a device node; null with error set when it cannot.
  std::function<std::unique_ptr<SarDevice>(const std::string& path, int& error)> open;
  // Waits between readings; false ends the run (e.g. interrupted).
  std::function<bool(std::chrono::milliseconds)> sleep;
};

// Runs one command line (without the program name); returns the exit status.
int run(const std::vector<std::string>& args, const Env& env);

}  // namespace adctool

#endif
