// sar-adc: raw readings of the SAR converter through /dev/sar.
#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "adctool.h"

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
  const std::vector<std::string> args(argv + 1, argv + argc);
  adctool::Env env;
  bool out_failed = false;
  env.console = devtools::stdio_console(&out_failed);
  env.open = adctool::open_sar_device;
  // A reading that cannot be written ends an endless run.
  env.sleep = [&out_failed](std::chrono::milliseconds ms) { return !out_failed && sleep_for(ms); };
  const int status = adctool::run(args, env);
  if (out_failed && status == devtools::kExitOk) {
    env.console.err("sar-adc: cannot write the output\n");
    return devtools::kExitFailed;
  }
  return status;
}
