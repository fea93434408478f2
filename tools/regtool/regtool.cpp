// SPDX-License-Identifier: GPL-2.0
#include "regtool.h"

#include <optional>

#include "program.h"
#include "reg_access.h"

namespace regtool {
namespace {

using devtools::hex2;
using devtools::hex_byte;
using devtools::kExitFailed;
using devtools::kExitOk;
using devtools::kExitUsage;

constexpr char kProgram[] = "rjgt102-reg";

constexpr char kHelp[] =
    "Usage: rjgt102-reg [OPTIONS] COMMAND [ARGUMENTS]\n"
    "Reads and writes the 8-bit registers of the I2C slave at 0x68 on the\n"
    "gpio_i2c bus, through /dev/rjgt102_i2c.\n"
    "\n"
    "Commands:\n"
    "  read REG [COUNT]     print COUNT registers (default 1) from REG on, one\n"
    "                       value a line, as 0x5a\n"
    "  write REG VALUE...   write the values to REG, REG+1, ...\n"
    "  dump                 print all 256 registers as a table\n"
    "\n"
    "Options:\n"
    "  -d, --device PATH    device node (default /dev/rjgt102_i2c)\n"
    "  -1, --once           read each register once; a register the slave does\n"
    "                       not answer then reads as 0x00 (read, dump)\n"
    "  -r, --readback       read the written registers back and fail when they\n"
    "                       differ (write)\n"
    "  -h, --help           show this text\n"
    "      --version        show the version\n"
    "\n"
    "Numbers are decimal or 0x-prefixed hexadecimal. A range must end at 0xff\n"
    "at the latest. After the command, -1 is a (bad) number, not --once.\n"
    "The device cannot report a slave that does not answer, so\n"
    "read and dump read every register twice, with the block filled 0x00 and\n"
    "then 0xff: a register that returns the fill both times did not answer.\n"
    "A write the slave refuses is only logged by the kernel (\"fail: return\n"
    "NACK\"); --readback catches it.\n"
    "\n"
    "Exit status: 0 done, 1 the device or the slave failed, 2 usage error.\n";

struct Options {
  std::string device = kDefaultDevice;
  bool once = false;
  bool readback = false;
};

const std::vector<devtools::OptionSpec> kOptions = {
    {"device", 'd', "a device path"},
    {"once", '1', nullptr},
    {"readback", 'r', nullptr},
};

class Tool : public devtools::Program {
 public:
  explicit Tool(const Env& env) : Program(kProgram, kHelp, kOptions, env.console), env_(env) {}

 private:
  int option(int id, const std::string& value) override;
  // Runs the command: read, write or dump.
  int execute(const std::vector<std::string>& w) override;
  bool open();
  int failed_call(const char* what, const CallError& e) const;
  int read(unsigned first, unsigned count);
  int write(unsigned first, const std::vector<uint8_t>& values);
  int dump();
  std::optional<unsigned> parse_byte(const std::string& text, const char* what) const;

  const Env& env_;
  Options opt_;
  std::unique_ptr<RegDevice> dev_;
};

// "0x10", "0x10-0x1f", "0x10, 0x12-0x14": the registers not answered.
std::string silent_registers(unsigned first, const std::vector<bool>& answered) {
  std::string out;
  for (unsigned k = 0; k < answered.size();) {
    if (answered[k]) {
      ++k;
      continue;
    }
    unsigned end = k;
    while (end + 1 < answered.size() && !answered[end + 1]) ++end;
    if (!out.empty()) out += ", ";
    out += hex_byte(first + k);
    if (end > k) out += "-" + hex_byte(first + end);
    k = end + 1;
  }
  return out;
}

std::string range_text(unsigned first, unsigned count) {
  if (count == 1) return "register " + hex_byte(first);
  return "registers " + hex_byte(first) + "-" + hex_byte(first + count - 1);
}

int Tool::option(int id, const std::string& value) {
  if (id == 'd') opt_.device = value;
  if (id == '1') opt_.once = true;
  if (id == 'r') opt_.readback = true;
  return kExitOk;
}

std::optional<unsigned> Tool::parse_byte(const std::string& text, const char* what) const {
  auto value = devtools::parse_number(text, 0xff);
  if (!value) usage(std::string("bad ") + what + " '" + text + "': expected 0 to 0xff");
  return value ? std::optional<unsigned>(unsigned(*value)) : std::nullopt;
}

bool Tool::open() {
  int err = 0;
  dev_ = env_.open(opt_.device, err);
  if (dev_) return true;
  cannot_open(opt_.device, err, "is the gpio_i2c module loaded?");
  return false;
}

int Tool::failed_call(const char* what, const CallError& e) const {
  error(std::string(what) + " " + range_text(e.first, e.count) + " on " + opt_.device +
        " failed: " + devtools::error_text(e.error));
  return kExitFailed;
}

int Tool::read(unsigned first, unsigned count) {
  std::string out;
  if (opt_.once) {
    std::vector<uint8_t> values;
    if (auto e = read_registers(*dev_, first, count, 0x00, values))
      return failed_call("reading", *e);
    for (uint8_t v : values) out += hex_byte(v) + "\n";
  } else {
    CheckedRead r;
    if (auto e = read_checked(*dev_, first, count, r)) return failed_call("reading", *e);
    std::string silent = silent_registers(first, r.answered);
    if (!silent.empty()) {
      error("the slave did not answer: " + silent);
      return kExitFailed;
    }
    for (uint8_t v : r.values) out += hex_byte(v) + "\n";
  }
  env_.console.out(out);
  return kExitOk;
}

int Tool::write(unsigned first, const std::vector<uint8_t>& values) {
  if (auto e = write_registers(*dev_, first, values)) return failed_call("writing", *e);
  if (!opt_.readback) return kExitOk;

  const auto count = static_cast<unsigned>(values.size());
  CheckedRead r;
  if (auto e = read_checked(*dev_, first, count, r)) return failed_call("reading back", *e);
  int status = kExitOk;
  std::string silent = silent_registers(first, r.answered);
  if (!silent.empty()) {
    error("the slave did not answer the read-back: " + silent);
    status = kExitFailed;
  }
  for (unsigned k = 0; k < count; ++k) {
    if (r.answered[k] && r.values[k] != values[k]) {
      error("register " + hex_byte(first + k) + " reads back " + hex_byte(r.values[k]) +
            " after writing " + hex_byte(values[k]));
      status = kExitFailed;
    }
  }
  return status;
}

int Tool::dump() {
  CheckedRead r;
  if (opt_.once) {
    if (auto e = read_registers(*dev_, 0, kRegisters, 0x00, r.values))
      return failed_call("reading", *e);
    r.answered.assign(kRegisters, true);
  } else if (auto e = read_checked(*dev_, 0, kRegisters, r)) {
    return failed_call("reading", *e);
  }
  env_.console.out(format_table(r.values, r.answered));
  std::string silent = silent_registers(0, r.answered);
  if (silent.empty()) return kExitOk;
  error("the slave did not answer: " + silent);
  return kExitFailed;
}

int Tool::execute(const std::vector<std::string>& w) {
  if (w.empty()) return usage("no command given");
  const std::string& cmd = w[0];

  if (cmd == "dump") {
    if (w.size() != 1) return usage("dump takes no arguments");
    return open() ? dump() : kExitFailed;
  }
  if (cmd != "read" && cmd != "write") return usage("unknown command '" + cmd + "'");

  if (w.size() < 2) return usage(cmd + " needs a register");
  auto first = parse_byte(w[1], "register");
  if (!first) return kExitUsage;

  unsigned count = 0;
  std::vector<uint8_t> values;
  if (cmd == "read") {
    if (w.size() > 3) return usage("read takes a register and a count");
    count = 1;
    if (w.size() == 3) {
      auto n = devtools::parse_number(w[2], kRegisters);
      if (!n || *n == 0) return usage("bad count '" + w[2] + "': expected 1 to 256");
      count = unsigned(*n);
    }
  } else {
    if (w.size() < 3) return usage("write needs at least one value");
    for (size_t i = 2; i < w.size(); ++i) {
      auto v = parse_byte(w[i], "value");
      if (!v) return kExitUsage;
      values.push_back(uint8_t(*v));
    }
    count = unsigned(values.size());
  }
  if (*first + count > kRegisters) {
    return usage(std::to_string(count) + " registers from " + hex_byte(*first) + " run past 0xff");
  }
  if (!open()) return kExitFailed;
  return cmd == "read" ? read(*first, count) : write(*first, values);
}

}  // namespace

int run(const std::vector<std::string>& args, const Env& env) { return Tool(env).run(args); }

std::string format_table(const std::vector<uint8_t>& values, const std::vector<bool>& answered) {
  std::string out = "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f    0123456789abcdef\n";
  for (size_t row = 0; row < values.size(); row += 16) {
    std::string hex = hex2(unsigned(row)) + ":";
    std::string ascii;
    for (size_t k = row; k < row + 16 && k < values.size(); ++k) {
      const bool ok = k >= answered.size() || answered[k];
      hex += ok ? " " + hex2(values[k]) : " XX";
      const char c = static_cast<char>(values[k]);
      ascii += !ok ? 'X' : (values[k] >= 0x20 && values[k] < 0x7f ? c : '.');
    }
    out += hex;
    out += "    ";
    out += ascii;
    out += '\n';
  }
  return out;
}

}  // namespace regtool
