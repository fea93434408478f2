// SPDX-License-Identifier: GPL-2.0
// sar_adc's user entry points on the bench: ioctls on "/dev/sar" (random
// commands, records and user pointers) and the class device's channel and
// value attributes (random text), interleaved. Beyond the sanitizers it
// checks the kernel's rules after every call, the results each entry point
// may give, and that a read returns the selected channel's conversion.
//
// Input: the converter's busy reads (mod 8), then up to six
// operations, each an operation byte followed by its fields: an ioctl
// (command byte, raw parts, the 8-byte record, a user pointer), a channel
// store (length byte, text) or an attribute read (bit 0: value or channel).

#include <linux/errno.h>
#include <linux/tessel_sar.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "clk.h"
#include "kbench.h"
#include "mmio.h"
#include "platform.h"
#include "sar_converter.h"
#include "invariant.h"
#include "reader.h"
#include "sysfs.h"
#include "user_pointer.h"

namespace {

using fuzz::check;

constexpr uint64_t kBase = 0x1f002000;

uint16_t input(unsigned channel) { return uint16_t(0x155 + 0x2A3 * channel); }

// The channel a write to the attribute selects, as kstrtouint reads the
// text up to its first NUL: an optional '+', decimal digits, an optional
// newline; only 0 to 3 are channels.
std::optional<int> channel_written(const std::string& text) {
  const std::string s = text.substr(0, text.find('\0'));
  size_t i = s.size() > 0 && s[0] == '+' ? 1 : 0;
  const size_t digits = i;
  unsigned long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
    v = std::min(v * 10 + unsigned(s[i] - '0'), 10ul);
  if (i == digits || v > 3) return std::nullopt;
  if (i < s.size() && s[i] == '\n') ++i;
  if (i != s.size()) return std::nullopt;
  return int(v);
}

unsigned ioctl_command(fuzz::Reader& in) {
  switch (in.below(6)) {
    case 0:
      return SAR_IOC_INIT;
    case 1:
    case 2:
      return SAR_IOC_READ;
    case 3:  // ours with direction and size bits
      return (in.u32() & 0xC3FF0003u) | SAR_IOC_MAGIC << 8;
    default:
      return in.u32();
  }
}

void call_ioctl(fuzz::Reader& in, kb::SarConverter& adc, int& selected) {
  const unsigned cmd = ioctl_command(in);
  std::vector<uint8_t> bytes = in.bytes(sizeof(sar_ioctl_data));
  bytes.resize(sizeof(sar_ioctl_data));
  sar_ioctl_data record;
  std::memcpy(&record, bytes.data(), sizeof(record));
  const fuzz::UserPointer p = fuzz::user_pointer(in, bytes);

  long ret;
  {
    kb::MiscFile f("sar");
    check(f.ok(), "open");
    ret = f.ioctl(cmd, p.addr);
  }
  if (cmd == SAR_IOC_INIT) {
    check(ret == 0, "init failed");
  } else if (cmd == SAR_IOC_READ) {
    if (!p.readable) {
      check(ret == -EFAULT, "unreadable record not refused");
      return;
    }
    selected = record.channel & (SAR_NUM_CHANNELS - 1);
    if (!p.writable) {
      check(ret == -EFAULT, "unwritable record not refused");
      return;
    }
    check(ret == 0, "good read failed");
    sar_ioctl_data out;
    const std::vector<uint8_t> got = kb::user::read(p.addr, sizeof(out));
    std::memcpy(&out, got.data(), sizeof(out));
    check(out.channel == record.channel, "channel field changed");
    check(out.value == adc.peek(kb::SarConverter::data(unsigned(selected))), "value");
  } else {
    check(ret == -ENOTTY || ret == -EFAULT, "unknown command answered");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  kb::reset();
  kb::SarConverter adc;
  kb::mmio::attach(kBase, kb::SarConverter::kWindowSize, &adc);
  kb::clk::add("osc");
  kb::clk::add("pll");
  kb::clk::add("sar_clk", {"osc", "pll"}, 1);
  for (unsigned n = 0; n < kb::SarConverter::kChannels; ++n) adc.set_input(n, input(n));
  // A converter that never finishes costs the driver 100001 polls, which
  // would slow fuzzing a hundredfold; the bench tests cover it.
  adc.set_busy_reads(in.below(8));

  kb::platform::DeviceDesc desc;
  desc.name = "1f002000.sar";
  desc.of_node = kb::platform::Node{"sar@1f002000", {"qrvn,tessel-sar"}, {"sar_clk"}};
  desc.mem = {{kBase, 0x1000}};
  check(kb::load("qvsys") == 0, "qvsys load");
  platform_device* pdev = kb::platform::add(desc);
  check(kb::load("sar_adc") == 0 && kb::platform::probe_result(pdev) == 0, "bind");
  device* dev = kb::sysfs::find("qvsys", "sar");
  check(dev != nullptr, "class device");

  // The channel the value attribute converts, as the driver should keep it.
  int selected = 0;
  for (int op = 0; op < 6 && !in.empty(); ++op) {
    switch (in.below(4)) {
      case 0:
      case 1:
        call_ioctl(in, adc, selected);
        break;
      case 2: {
        const std::vector<uint8_t> raw = in.bytes(in.below(33));
        const std::string text(raw.begin(), raw.end());
        const ssize_t ret = kb::sysfs::write(dev, "channel", text);
        const std::optional<int> channel = channel_written(text);
        if (text.empty()) {
          check(ret == 0, "empty write");
        } else if (!channel) {
          check(ret == -EINVAL, "not a channel, taken");
        } else {
          check(ret == ssize_t(text.size()), "channel refused");
          selected = *channel;
        }
        break;
      }
      default: {
        const kb::sysfs::Read r = kb::sysfs::read(dev, (in.byte() & 1) ? "value" : "channel");
        check(r.ret > 0 && size_t(r.ret) == r.text.size() && r.text.back() == '\n', "show");
        break;
      }
    }
    check(kb::violations().empty(), "kernel rule broken");
    check(kb::locks_held() == 0, "lock held after the call");
    check(kb::irqs_enabled(), "interrupts left off");
    check(kb::preempt_count() == 0, "preemption left off");
  }
  // What value shows is the conversion of the selected channel.
  const kb::sysfs::Read r = kb::sysfs::read(dev, "value");
  check(r.ret > 0, "value unreadable");
  check(std::atoi(r.text.c_str()) == adc.peek(kb::SarConverter::data(unsigned(selected))),
        "value of the selected channel");

  kb::unload("sar_adc");
  kb::unload("qvsys");
  check(kb::violations().empty(), "kernel rule broken at unload");
  check(kb::mem::live() == 0, "driver memory left allocated");
  return 0;
}
