// SPDX-License-Identifier: GPL-2.0
// The device tools on the board: each check runs the installed program with
// its arguments and compares its output with what the test models hold.

#include "tool_checks.h"

#include <array>
#include <cstdio>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "checks.h"
#include "files.h"
#include "i2c_slave.h"
#include "sar_model.h"

namespace board {
namespace {

// Found on PATH: /bin on the test board, /usr/sbin where installed.
constexpr const char* kRegTool = "rjgt102-reg";
constexpr const char* kAdcTool = "sar-adc";

struct Run {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

std::string describe(const Run& r) {
  return "status " + std::to_string(r.status) + ", out \"" + r.out + "\", err \"" + r.err + "\"";
}

// Runs program with args, collecting standard output and error.
Run run(const char* program, const std::vector<std::string>& args) {
  Run r;
  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) return r;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::close(out[0]);
    ::close(err[0]);
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(program, argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  std::array<pollfd, 2> fds{{{out[0], POLLIN, 0}, {err[0], POLLIN, 0}}};
  std::string* sinks[2] = {&r.out, &r.err};
  int open_pipes = 2;
  // A tool that prints nothing for this long is taken as hung. A register
  // dump prints only at its end, and on the debug kernel its 256 bit-banged
  // reads take seconds.
  constexpr int kSilenceMs = 60000;
  while (pid > 0 && open_pipes > 0 && ::poll(fds.data(), fds.size(), kSilenceMs) > 0) {
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      ssize_t n = ::read(fds[i].fd, buf, sizeof(buf));
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  for (const auto& f : fds)
    if (f.fd >= 0) ::close(f.fd);
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    r.status = WEXITSTATUS(status);
  return r;
}

// The registers as the tool's dump table shows them.
bool parse_table(const std::string& text, RegisterFile& regs) {
  size_t pos = text.find('\n');  // after the header line
  for (int row = 0; row < 16; ++row) {
    if (pos == std::string::npos) return false;
    ++pos;
    unsigned values[16];
    unsigned address = 0;
    // The count of fields read is checked; each takes two hex digits at most.
    // NOLINTNEXTLINE(cert-err34-c)
    if (std::sscanf(text.c_str() + pos,
                    "%2x: %2x %2x %2x %2x %2x %2x %2x %2x %2x %2x %2x %2x %2x %2x %2x %2x",
                    &address, &values[0], &values[1], &values[2], &values[3], &values[4],
                    &values[5], &values[6], &values[7], &values[8], &values[9], &values[10],
                    &values[11], &values[12], &values[13], &values[14], &values[15]) != 17 ||
        address != unsigned(row * 16))
      return false;
    for (int k = 0; k < 16; ++k) regs[row * 16 + k] = static_cast<std::uint8_t>(values[k]);
    pos = text.find('\n', pos);
  }
  return true;
}

void check_regtool(Checks& c) {
  I2cSlave slave;
  if (!c.expect(slave.available(), "tools: I2C slave model present", "no debugfs files")) return;
  RegisterFile pattern{};
  for (int r = 0; r < 256; ++r) pattern[r] = static_cast<std::uint8_t>(r * 7 + 3);
  slave.set_registers(pattern);

  Run r = run(kRegTool, {"dump"});
  RegisterFile shown{};
  c.expect(r.status == 0 && parse_table(r.out, shown) && shown == pattern,
           "tools: rjgt102-reg dump shows the slave's 256 registers", describe(r));

  r = run(kRegTool, {"read", "0xfe", "2"});
  char want[32];
  std::snprintf(want, sizeof(want), "0x%02x\n0x%02x\n", pattern[0xfe], pattern[0xff]);
  c.expect(r.status == 0 && r.out == want, "tools: rjgt102-reg read of a range", describe(r));

  r = run(kRegTool, {"write", "--readback", "0x40", "0x11", "0x22", "0x33"});
  auto regs = slave.registers();
  c.expect(r.status == 0 && regs && (*regs)[0x40] == 0x11 && (*regs)[0x41] == 0x22 &&
               (*regs)[0x42] == 0x33 && (*regs)[0x43] == pattern[0x43],
           "tools: rjgt102-reg write with read-back", describe(r));

  slave.set_nack_data(true);
  r = run(kRegTool, {"write", "-r", "0x50", "0x99"});
  slave.set_nack_data(false);
  std::snprintf(want, sizeof(want), "0x%02x", pattern[0x50]);
  c.expect(r.status == 1 && r.err == "rjgt102-reg: register 0x50 reads back " + std::string(want) +
                                         " after writing 0x99\n",
           "tools: rjgt102-reg --readback reports a refused write", describe(r));

  slave.set_present(false);
  r = run(kRegTool, {"read", "0x10", "2"});
  slave.set_present(true);
  c.expect(r.status == 1 && r.out.empty() &&
               r.err == "rjgt102-reg: the slave did not answer: 0x10-0x11\n",
           "tools: rjgt102-reg reports an absent slave", describe(r));

  r = run(kRegTool, {"read", "0xfe", "4"});
  c.expect(r.status == 2, "tools: rjgt102-reg refuses a range past 0xff", describe(r));
}

void check_adctool(Checks& c) {
  SarModel model;
  if (!c.expect(model.available(), "tools: converter model present", "no debugfs files")) return;
  const std::uint16_t results[4] = {17, 4095, 65535, 0};
  for (int n = 0; n < 4; ++n) model.set_result(n, results[n]);

  const long long before = model.conversions();
  Run r = run(kAdcTool, {});
  c.expect(r.status == 0 && r.out == "17 4095 65535 0\n", "tools: sar-adc reads all four channels",
           describe(r));
  c.equal(model.conversions() - before, 4LL, "tools: sar-adc converts once per channel");

  // The converter's IIO device reads the same; its scale is the 1.8 V
  // reference over the 16-bit reading.
  std::string iio, raw;
  for (int n = 0; n < 16 && iio.empty(); ++n) {
    std::string dir = "/sys/bus/iio/devices/iio:device" + std::to_string(n) + "/";
    if (read_text(dir + "name") == "tessel-sar\n") iio = dir;
  }
  for (int n = 0; n < 4 && !iio.empty(); ++n) {
    std::string v = read_text(iio + "in_voltage" + std::to_string(n) + "_raw").value_or("?\n");
    raw += (n ? " " : "") + v.substr(0, v.size() - 1);
  }
  auto scale = read_text(iio + "in_voltage_scale").value_or("");
  c.expect(!iio.empty() && raw + "\n" == r.out && scale == "0.027465820\n",
           "tools: IIO in_voltageN_raw read what sar-adc reads, with in_voltage_scale",
           iio + ": " + raw + ", scale " + scale);
  r = run(kAdcTool, {"-n", "3", "-i", "20", "2"});
  c.expect(r.status == 0 && r.out == "65535\n65535\n65535\n",
           "tools: sar-adc repeats a channel at an interval", describe(r));

  r = run(kAdcTool, {"-d", "/dev/no-such-sar"});
  c.expect(
      r.status == 1 &&
          r.err.rfind("sar-adc: cannot open /dev/no-such-sar: No such file or directory", 0) == 0,
      "tools: sar-adc explains a missing device", describe(r));

  r = run(kAdcTool, {"--help"});
  c.expect(r.status == 0 && r.out.rfind("Usage: sar-adc", 0) == 0, "tools: sar-adc --help",
           describe(r));
}

// Addresses that answered in an i2cdetect table (all but "--" and blanks).
std::string detected(const std::string& table) {
  std::string found;
  for (size_t row = table.find('\n'); row != std::string::npos; row = table.find('\n', row + 1)) {
    size_t end = table.find('\n', row + 1);
    size_t colon = table.find(':', row);
    if (colon == std::string::npos || colon > end) continue;
    for (size_t at = colon + 1; at + 2 < end; at += 3) {
      std::string cell = table.substr(at + 1, 2);
      if (cell != "--" && cell != "  ") found += (found.empty() ? "" : " ") + cell;
    }
  }
  return found;
}

}  // namespace

void run_tool_checks(Checks& c) {
  check_regtool(c);
  check_adctool(c);
}

void run_i2c_tool_checks(Checks& c) {
  I2cSlave slave;
  auto bus = gpio_i2c_bus();
  if (!c.expect(slave.available() && bus, "i2c-tools: gpio_i2c adapter and slave model present"))
    return;
  const std::string n = std::to_string(*bus);
  RegisterFile pattern{};
  for (int r = 0; r < 256; ++r) pattern[r] = static_cast<std::uint8_t>(r * 13 + 5);
  slave.set_registers(pattern);

  // The adapter has no quick command: i2cdetect probes by reading a byte.
  Run r = run("i2cdetect", {"-y", "-r", n});
  c.expect(r.status == 0 && detected(r.out) == "68",
           "i2c-tools: i2cdetect -y -r " + n + " finds 0x68", describe(r));

  Run dump = run("i2cdump", {"-y", n, "0x68"});
  Run own = run(kRegTool, {"dump"});
  RegisterFile via_core{}, via_misc{};
  c.expect(dump.status == 0 && parse_table(dump.out, via_core) && parse_table(own.out, via_misc) &&
               via_core == via_misc && via_core == pattern,
           "i2c-tools: i2cdump -y " + n + " 0x68 agrees with rjgt102-reg dump", describe(dump));

  r = run("i2cset", {"-y", n, "0x68", "0x40", "0x5a"});
  Run get = run("i2cget", {"-y", n, "0x68", "0x40"});
  auto regs = slave.registers();
  c.expect(r.status == 0 && get.status == 0 && get.out == "0x5a\n" && regs && (*regs)[0x40] == 0x5a,
           "i2c-tools: i2cset then i2cget of register 0x40", describe(r) + " / " + describe(get));
}

}  // namespace board
