// SPDX-License-Identifier: GPL-2.0
#include "adctool.h"

#include <climits>
#include <optional>

#include "program.h"

namespace adctool {
namespace {

using devtools::kExitFailed;
using devtools::kExitOk;

constexpr char kProgram[] = "sar-adc";
constexpr unsigned long kMaxIntervalMs = 24ul * 3600 * 1000;

constexpr char kHelp[] =
    "Usage: sar-adc [OPTIONS] [CHANNEL|all]\n"
    "Initialises the SAR converter and prints raw readings (0 to 65535) through\n"
    "/dev/sar.\n"
    "\n"
    "  CHANNEL              0 to 3; \"all\" (the default) prints the four channels\n"
    "                       on one line, separated by spaces, channel 0 first\n"
    "\n"
    "Options:\n"
    "  -d, --device PATH    device node (default /dev/sar)\n"
    "  -n, --count N        take N readings (default 1, or endless with -i);\n"
    "                       0 reads until interrupted\n"
    "  -i, --interval MS    wait MS milliseconds between readings (default 1000)\n"
    "      --no-init        do not initialise the converter first\n"
    "  -h, --help           show this text\n"
    "      --version        show the version\n"
    "\n"
    "Each reading is one line. Every channel read is a conversion of its own.\n"
    "Exit status: 0 done, 1 the device failed, 2 usage error.\n";

struct Options {
  std::string device = kDefaultDevice;
  std::optional<unsigned> channel;  // none: all
  std::optional<unsigned long> count;
  std::optional<unsigned long> interval_ms;
  bool init = true;
};

constexpr int kNoInit = devtools::kLongOnly;

const std::vector<devtools::OptionSpec> kOptions = {
    {"device", 'd', "a device path"},
    {"count", 'n', "a number"},
    {"interval", 'i', "milliseconds"},
    {"no-init", kNoInit, nullptr},
};

class Tool : public devtools::Program {
 public:
  explicit Tool(const Env& env) : Program(kProgram, kHelp, kOptions, env.console), env_(env) {}

 private:
  int option(int id, const std::string& value) override;
  // Takes the channel, then prints the readings.
  int execute(const std::vector<std::string>& operands) override;
  int channel(const std::vector<std::string>& operands);
  // Appends the reading of channel to line; false when the call failed.
  bool read(SarDevice& dev, unsigned channel, std::string& line) const;

  const Env& env_;
  Options opt_;
};

int Tool::option(int id, const std::string& value) {
  switch (id) {
    case 'd':
      opt_.device = value;
      break;
    case 'n':
      opt_.count = devtools::parse_number(value, UINT_MAX);
      if (!opt_.count) return usage("bad count '" + value + "'");
      break;
    case 'i':
      opt_.interval_ms = devtools::parse_number(value, kMaxIntervalMs);
      if (!opt_.interval_ms)
        return usage("bad interval '" + value + "': expected 0 to 86400000 ms");
      break;
    case kNoInit:
      opt_.init = false;
      break;
    default:
      break;
  }
  return kExitOk;
}

int Tool::channel(const std::vector<std::string>& operands) {
  if (operands.empty() || operands[0] == "all") {
    if (operands.size() > 1) return usage("more than one channel given");
    return kExitOk;
  }
  auto n = devtools::parse_number(operands[0], SAR_NUM_CHANNELS - 1);
  if (!n) return usage("bad channel '" + operands[0] + "': expected 0 to 3 or all");
  if (operands.size() > 1) return usage("more than one channel given");
  opt_.channel = unsigned(*n);
  return kExitOk;
}

bool Tool::read(SarDevice& dev, unsigned channel, std::string& line) const {
  sar_ioctl_data data{static_cast<__s32>(channel), 0};
  if (int err = dev.ioctl(SAR_IOC_READ, &data)) {
    error("reading channel " + std::to_string(channel) + " through " + opt_.device +
          " failed: " + devtools::error_text(err));
    return false;
  }
  if (!line.empty()) line += ' ';
  line += std::to_string(data.value);
  return true;
}

int Tool::execute(const std::vector<std::string>& operands) {
  if (int status = channel(operands)) return status;

  int err = 0;
  std::unique_ptr<SarDevice> dev = env_.open(opt_.device, err);
  if (!dev) {
    cannot_open(opt_.device, err, "is sar_adc loaded and bound to the converter?");
    return kExitFailed;
  }
  // The read command does not initialise the converter itself.
  if (opt_.init) {
    if (int e = dev->ioctl(SAR_IOC_INIT, nullptr)) {
      error("initialising the converter through " + opt_.device +
            " failed: " + devtools::error_text(e));
      return kExitFailed;
    }
  }

  const unsigned long count = opt_.count.value_or(opt_.interval_ms ? 0 : 1);
  const std::chrono::milliseconds interval(opt_.interval_ms.value_or(1000));
  for (unsigned long n = 0; count == 0 || n < count; ++n) {
    if (n > 0 && !env_.sleep(interval)) break;
    std::string line;
    if (opt_.channel) {
      if (!read(*dev, *opt_.channel, line)) return kExitFailed;
    } else {
      for (unsigned ch = 0; ch < SAR_NUM_CHANNELS; ++ch)
        if (!read(*dev, ch, line)) return kExitFailed;
    }
    env_.console.out(line + "\n");
  }
  return kExitOk;
}

}  // namespace

int run(const std::vector<std::string>& args, const Env& env) { return Tool(env).run(args); }

}  // namespace adctool
