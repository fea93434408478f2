// sar-adc: raw readings of the SAR converter through /dev/sar.
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "adctool.h"

namespace {

void write_to(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

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
  env.console.out = [](std::string_view text) { write_to(stdout, text); };
  env.console.err = [](std::string_view text) { write_to(stderr, text); };
  env.open = adctool::open_sar_device;
  env.sleep = sleep_for;
  return adctool::run(args, env);
}
