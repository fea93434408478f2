#include "adctool.h"

#include <cerrno>
#include <climits>
#include <optional>

namespace adctool {
namespace {

using devtools::kExitFailed;
using devtools::kExitOk;
using devtools::kExitUsage;

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
    "\n"
    "Each reading is one line. Every channel read is a conversion of its own.\n"
    "Exit status: 0 done, 1 the device failed, 2 usage error.\n";

struct Options {
  std::string device = kDefaultDevice;
  std::optional<unsigned> channel;  // none: all
  std::optional<unsigned long> count;
  std::optional<unsigned long> interval_ms;
  bool init = true;
  bool help = false;
};

class Tool {
 public:
  explicit Tool(const Env& env) : env_(env) {}
  int run(const std::vector<std::string>& args);

 private:
  int usage(const std::string& message) const {
    error(message + "\nTry 'sar-adc --help'.");
    return kExitUsage;
  }
  void error(const std::string& message) const {
    env_.console.err(std::string(kProgram) + ": " + message + "\n");
  }
  int parse(const std::vector<std::string>& args);
  // Appends the reading of channel to line; false when the call failed.
  bool read(SarDevice& dev, unsigned channel, std::string& line) const;

  const Env& env_;
  Options opt_;
};

int Tool::parse(const std::vector<std::string>& args) {
  bool channel_given = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value_of = [&](const char* what) -> const std::string* {
      if (i + 1 == args.size()) {
        usage("option " + a + " needs " + what);
        return nullptr;
      }
      return &args[++i];
    };
    if (a == "-h" || a == "--help") {
      opt_.help = true;
    } else if (a == "--no-init") {
      opt_.init = false;
    } else if (a == "-d" || a == "--device") {
      const std::string* v = value_of("a device path");
      if (!v) return kExitUsage;
      opt_.device = *v;
    } else if (a == "-n" || a == "--count") {
      const std::string* v = value_of("a number");
      if (!v) return kExitUsage;
      opt_.count = devtools::parse_number(*v, UINT_MAX);
      if (!opt_.count) return usage("bad count '" + *v + "'");
    } else if (a == "-i" || a == "--interval") {
      const std::string* v = value_of("milliseconds");
      if (!v) return kExitUsage;
      opt_.interval_ms = devtools::parse_number(*v, kMaxIntervalMs);
      if (!opt_.interval_ms) return usage("bad interval '" + *v + "': expected 0 to 86400000 ms");
    } else if (a.size() > 1 && a[0] == '-') {
      return usage("unknown option '" + a + "'");
    } else if (channel_given) {
      return usage("more than one channel given");
    } else {
      channel_given = true;
      if (a == "all") continue;
      auto n = devtools::parse_number(a, SAR_NUM_CHANNELS - 1);
      if (!n) return usage("bad channel '" + a + "': expected 0 to 3 or all");
      opt_.channel = unsigned(*n);
    }
  }
  return kExitOk;
}

bool Tool::read(SarDevice& dev, unsigned channel, std::string& line) const {
  sar_ioctl_data data{static_cast<__s32>(channel), 0};
  if (int err = dev.command(SAR_IOC_READ, &data)) {
    error("reading channel " + std::to_string(channel) + " through " + opt_.device +
          " failed: " + devtools::error_text(err));
    return false;
  }
  if (!line.empty()) line += ' ';
  line += std::to_string(data.value);
  return true;
}

int Tool::run(const std::vector<std::string>& args) {
  if (int status = parse(args)) return status;
  if (opt_.help) {
    env_.console.out(kHelp);
    return kExitOk;
  }

  int err = 0;
  std::unique_ptr<SarDevice> dev = env_.open(opt_.device, err);
  if (!dev) {
    std::string message = "cannot open " + opt_.device + ": " + devtools::error_text(err);
    if (err == ENOENT || err == ENODEV || err == ENXIO)
      message += " (is sar_adc loaded and bound to the converter?)";
    error(message);
    return kExitFailed;
  }
  // The read command does not initialise the converter itself.
  if (opt_.init) {
    if (int e = dev->command(SAR_IOC_INIT, nullptr)) {
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
