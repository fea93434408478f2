// SPDX-License-Identifier: GPL-2.0
// Checks of sar_adc through /dev/sar and the class device "sar", against the
// converter model that shares the driver's register window.

#include "sar_checks.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/tessel_sar.h>

#include "checks.h"
#include "device.h"
#include "files.h"
#include "kernel_log.h"
#include "kernel_module.h"
#include "sar_model.h"

namespace board {
namespace {

constexpr const char* kNode = "/dev/sar";
constexpr const char* kDriver = "/sys/bus/platform/drivers/tessel-sar/";
constexpr const char* kDevice = "5fe00000.sar";
constexpr const char* kClockEnables = "/sys/kernel/debug/clk/sar_clk/clk_enable_count";
constexpr const char* kUnknown = "ioctl: unknown command";
constexpr const char* kClient = "/lib/modules/board/board_sar_client.ko";
constexpr const char* kClientParams = "/sys/module/board_sar_client/parameters/";
constexpr const char* kAtomicClient = "/lib/modules/board/board_sar_atomic.ko";
constexpr const char* kAtomicParams = "/sys/module/board_sar_atomic/parameters/";
constexpr const char* kI2cNode = "/dev/rjgt102_i2c";
constexpr const char* kI2cModule = "/lib/modules/board/gpio_i2c.ko";

// Longest time the model's timer may go without a tick while a conversion
// hangs; with interrupts off it would be the whole 100 ms wait. A longer gap
// is measured again, up to kStuckReads reads in all.
constexpr long long kMaxTickGapUs = 50000;
constexpr int kStuckReads = 3;

constexpr std::uint32_t kCtrlInit = 0x0A20;
constexpr std::uint32_t kCtrlStart = 0x4000;

// Distinct per-channel readings; 0xFFFF must come out as 65535.
constexpr std::uint16_t kResults[4] = {0x0123, 0x0BEE, 0xFFFF, 0x0007};

std::string class_dir() {
  auto found = find_path("/sys/class/*/sar/value");
  return found ? found->substr(0, found->size() - std::strlen("value")) : std::string();
}

IoctlResult read_channel(const Device& dev, sar_ioctl_data& data) {
  return dev.ioctl(SAR_IOC_READ, &data);
}

int minor_of(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(minor(st.st_rdev)) : -1;
}

int mode_of(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

std::string text_of(const std::optional<std::string>& s) { return s.value_or("<unreadable>"); }

class SarChecks {
 public:
  explicit SarChecks(Checks& c) : c_(c) {}

  void run() {
    c_.expect(is_char_device(kNode), "sar: /dev/sar is a character device");
    c_.expect(exists(std::string(kDriver) + kDevice), "sar: driver bound to the converter node",
              "no " + std::string(kDriver) + kDevice);
    c_.equal(read_number(kClockEnables).value_or(-1), 1LL,
             "sar: converter clock enabled while bound");
    dir_ = class_dir();
    c_.expect(!dir_.empty() && mode_of(dir_ + "channel") == 0644 && mode_of(dir_ + "value") == 0444,
              "sar: class device sar has channel (0644) and value (0444)");
    if (!c_.expect(model_.available(), "sar: converter model present", "no debugfs files")) return;
    for (int n = 0; n < 4; ++n) model_.set_result(n, kResults[n]);

    check_value_initialises();
    {
      Device dev(kNode, O_RDONLY);
      if (!c_.expect(dev.is_open(), "sar: device node opens", std::strerror(dev.open_error())))
        return;
      check_init_ioctl(dev);
      check_read_ioctl(dev);
      check_channel_attribute();
      check_bad_ioctls(dev);
      check_no_read_operation(dev);
      check_stuck_converter(dev);
      check_atomic_client_on_other_cpu(dev);
      check_client_beside_user_and_suspend();
    }
  }

  // Unbinding and binding the platform device: nodes go and come back,
  // the clock follows, and the new binding starts uninitialised.
  void run_rebind() {
    if (!model_.available()) return;
    write_text(class_dir() + "channel", "3");
    {
      // A file opened before the unbind outlives the converter.
      Device stale(kNode, O_RDONLY);
      int unbound = write_text(std::string(kDriver) + "unbind", kDevice);
      c_.equal(unbound, 0, "sar: unbind the platform device");
      c_.expect(!exists(kNode) && class_dir().empty(),
                "sar: unbind removes /dev/sar and the class device");
      c_.equal(read_number(kClockEnables).value_or(-1), 0LL, "sar: unbind turns the clock off");
      sar_ioctl_data d{0, -1};
      auto r = read_channel(stale, d);
      auto init = stale.ioctl(SAR_IOC_INIT, 0UL);
      c_.expect(stale.is_open() && r.rc == -1 && r.error == ENODEV && d.value == -1 &&
                    init.rc == -1 && init.error == ENODEV,
                "sar: a file opened before unbind gets ENODEV from read and init",
                "read rc " + std::to_string(r.rc) + " errno " + std::to_string(r.error) +
                    ", value " + std::to_string(d.value) + ", init rc " + std::to_string(init.rc) +
                    " errno " + std::to_string(init.error));
    }

    int bound = write_text(std::string(kDriver) + "bind", kDevice);
    c_.equal(bound, 0, "sar: bind the platform device again");
    c_.expect(is_char_device(kNode) && !class_dir().empty(),
              "sar: bind brings back /dev/sar and the class device");
    c_.equal(read_number(kClockEnables).value_or(-1), 1LL, "sar: bind turns the clock on");
    c_.equal(text_of(read_text(class_dir() + "channel")), std::string("0\n"),
             "sar: bind selects channel 0");

    // The read ioctl converts without initialising the converter.
    model_.power_on_reset();
    for (int n = 0; n < 4; ++n) model_.set_result(n, kResults[n]);
    Device dev(kNode, O_RDONLY);
    sar_ioctl_data d{1, -1};
    auto r = read_channel(dev, d);
    c_.expect(r.ok() && d.value == kResults[1] && model_.last_ctrl() == kCtrlStart,
              "sar: read right after bind converts uninitialised",
              "value " + std::to_string(d.value) + ", ctrl " +
                  std::to_string(model_.last_ctrl().value_or(-1)));
    check_init_beside_read();
    c_.expect(dev.ioctl(SAR_IOC_INIT, 0UL).ok() && model_.registers() &&
                  model_.registers()->ctrl == kCtrlInit,
              "sar: init after bind writes the control register");
    check_next_misc_device();
  }

  // A process of its own: no file of sar_adc is open meanwhile.
  void run_exports() { check_exports(); }

 private:
  // A kernel client initialises the converter while an uninitialised read
  // converts: the start bit stays, and the read gets its own conversion's
  // result, unless the host held the guest back past its 100 ms wait.
  void check_init_beside_read() {
    constexpr std::uint16_t kFresh = 2222;
    int loaded = load_module(kAtomicClient, "tick=0 thread=0");
    model_.set_result(1, kFresh);
    model_.set_stuck(true);
    int pipe_fds[2] = {-1, -1};
    int piped = ::pipe(pipe_fds);
    pid_t reader = ::fork();
    if (reader == 0) {
      Device dev(kNode, O_RDONLY);
      sar_ioctl_data d{1, -1};
      auto t0 = std::chrono::steady_clock::now();
      if (!read_channel(dev, d).ok()) d.value = -1;
      int got[2] = {d.value, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::chrono::steady_clock::now() - t0)
                                                  .count())};
      ::_exit(::write(pipe_fds[1], got, sizeof(got)) == sizeof(got) ? 0 : 1);
    }
    auto ctrl = [&] { return model_.registers().value_or(SarRegisters{}).ctrl; };
    for (int i = 0; i < 1000 && !(ctrl() & kCtrlStart); ++i) ::usleep(1000);
    int init = write_text(std::string(kAtomicParams) + "hw_init", "1");
    auto after_init = ctrl();
    model_.set_stuck(false);
    int got[2] = {-1, -1};
    if (piped != 0 || ::read(pipe_fds[0], got, sizeof(got)) != sizeof(got)) got[1] = -1;
    ::waitpid(reader, nullptr, 0);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    unload_module("board_sar_atomic");
    model_.set_result(1, kResults[1]);
    c_.expect(loaded == 0 && init == 0 && after_init == (kCtrlInit | kCtrlStart) &&
                  (got[0] == kFresh || got[1] >= 100),
              "sar: init from a kernel client does not cut a read's conversion short",
              "ctrl " + std::to_string(after_init) + ", read " + std::to_string(got[0]) +
                  " after " + std::to_string(got[1]) + " ms");
  }

  // The misc device that registers next must get a minor of its own.
  // gpio_i2c loads after sar_adc, so its minor lies below ours and its
  // reload is that next registration.
  void check_next_misc_device() {
    int sar = minor_of(kNode);
    int i2c = minor_of(kI2cNode);
    int out = unload_module("gpio_i2c");
    int in = load_module(kI2cModule);
    c_.expect(sar > i2c && i2c >= 0 && out == 0 && in == 0 && is_char_device(kI2cNode),
              "sar: after rebind the next misc device (gpio_i2c reloaded) registers",
              "minors " + std::to_string(sar) + " and " + std::to_string(i2c) +
                  ", rmmod: " + std::strerror(out) + ", insmod: " + std::strerror(in));
  }

  // The value attribute initialises the converter before converting.
  void check_value_initialises() {
    auto before = model_.conversions();
    auto value = read_text(dir_ + "value");
    c_.equal(text_of(value), std::to_string(kResults[0]) + "\n",
             "sar: value reads channel 0 after bind");
    c_.expect(model_.last_ctrl() == (kCtrlInit | kCtrlStart) && model_.conversions() == before + 1,
              "sar: value initialises the converter, then converts once");
  }

  void check_init_ioctl(const Device& dev) {
    auto r = dev.ioctl(SAR_IOC_INIT, 0UL);
    auto regs = model_.registers();
    c_.expect(r.ok() && regs && regs->ctrl == kCtrlInit,
              "sar: SAR_IOC_INIT returns 0 with the control register at 0x0A20");
  }

  void check_read_ioctl(const Device& dev) {
    for (int n = 0; n < 4; ++n) {
      auto before = model_.conversions();
      sar_ioctl_data d{n, -1};
      auto r = read_channel(dev, d);
      auto regs = model_.registers().value_or(SarRegisters{});
      c_.expect(r.ok() && d.channel == n && d.value == kResults[n] &&
                    model_.conversions() == before + 1 && (regs.chan & (1u << n)),
                "sar: SAR_IOC_READ channel " + std::to_string(n),
                "rc " + std::to_string(r.rc) + ", value " + std::to_string(d.value));
    }
    sar_ioctl_data d{6, -1};
    auto r = read_channel(dev, d);
    c_.expect(r.ok() && d.channel == 6 && d.value == kResults[2],
              "sar: channel 6 reads channel 2 and comes back as 6");
    c_.equal(text_of(read_text(dir_ + "channel")), std::string("2\n"),
             "sar: read ioctl selects the channel for sysfs");
  }

  void check_channel_attribute() {
    struct Case {
      const char* written;
      int error;          // errno of the write
      const char* shown;  // channel afterwards
      int read_channel;   // what value then converts
    };
    static const Case cases[] = {
        {"1\n", 0, "1\n", 1},     {"3", 0, "3\n", 3},      {"abc", EINVAL, "3\n", 3},
        {"-1", EINVAL, "3\n", 3}, {"7", EINVAL, "3\n", 3}, {"99999999999", EINVAL, "3\n", 3},
    };
    for (const auto& k : cases) {
      std::string label = k.written;
      if (!label.empty() && label.back() == '\n') label.replace(label.size() - 1, 1, "\\n");
      std::string name = "sar: channel \"" + label + "\"";
      int err = write_text(dir_ + "channel", k.written);
      auto shown = text_of(read_text(dir_ + "channel"));
      auto value = text_of(read_text(dir_ + "value"));
      c_.expect(err == k.error && shown == k.shown &&
                    value == std::to_string(kResults[k.read_channel]) + "\n",
                name, "errno " + std::to_string(err) + ", shows " + shown + ", value " + value);
    }
  }

  void check_bad_ioctls(const Device& dev) {
    struct Case {
      unsigned long cmd;
      bool kernel_pointer;
      int error;
      int logged;
    };
    static const Case cases[] = {
        {0x6102, false, ENOTTY, 1},    {0x6103, false, ENOTTY, 0},
        {0x6200, false, ENOTTY, 0},    {0x80086101, false, ENOTTY, 1},
        {0x80086101, true, EFAULT, 0}, {SAR_IOC_READ, true, EFAULT, 0},
    };
    for (const auto& k : cases) {
      KernelLog log;
      sar_ioctl_data d{0, 0};
      auto r = k.kernel_pointer ? dev.ioctl(k.cmd, 0xC0000000UL) : dev.ioctl(k.cmd, &d);
      int logged = log.count(kUnknown);
      char name[96];
      std::snprintf(name, sizeof(name), "sar: ioctl 0x%lx%s fails with %s", k.cmd,
                    k.kernel_pointer ? " on a kernel address" : "",
                    k.error == ENOTTY ? "ENOTTY" : "EFAULT");
      c_.expect(r.rc == -1 && r.error == k.error && logged == k.logged, name,
                "errno " + std::to_string(r.error) + ", logged " + std::to_string(logged));
    }
  }

  void check_no_read_operation(const Device& dev) {
    Device other(kNode, O_RDWR);
    char byte;
    errno = 0;
    // The node has no read operation: the kernel answers EINVAL.
    int fd = ::open(kNode, O_RDONLY | O_CLOEXEC);
    ssize_t n = fd >= 0 ? ::read(fd, &byte, 1) : -2;
    int err = errno;
    if (fd >= 0) ::close(fd);
    c_.expect(other.is_open() && dev.is_open() && n == -1 && err == EINVAL,
              "sar: several opens at once; no read operation");
  }

  // A converter that never finishes: the read gives up after about 100 ms
  // and returns what the result register holds, with interrupts on all
  // the while.
  void check_stuck_converter(const Device& dev) {
    auto stale = model_.registers().value_or(SarRegisters{}).data[1];
    model_.set_result(1, 0x0ABC);
    model_.set_stuck(true);
    model_.restart_tick_gap();
    KernelLog log;
    sar_ioctl_data d{1, -1};
    auto t0 = std::chrono::steady_clock::now();
    auto r = read_channel(dev, d);
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    // A driver that keeps interrupts off through the wait leaves a gap as
    // long as the wait in every read. The host taking the guest's CPU away
    // also leaves one, tens of ms long, but not again at the next read: the
    // shortest of the reads' longest gaps tells the two apart.
    auto gap = model_.max_tick_gap_us().value_or(-1);
    for (int read = 1; read < kStuckReads && gap >= kMaxTickGapUs; ++read) {
      model_.restart_tick_gap();
      sar_ioctl_data again{1, -1};
      read_channel(dev, again);
      gap = std::min(gap, model_.max_tick_gap_us().value_or(gap));
    }
    model_.set_result(1, kResults[1]);
    model_.set_stuck(false);
    c_.expect(
        r.ok() && static_cast<std::uint32_t>(d.value) == stale && ms >= 100 && log.take().empty(),
        "sar: stuck converter times out after 100 ms with the old reading, silently",
        "value " + std::to_string(d.value) + ", " + std::to_string(ms) + " ms");
    c_.expect(gap >= 0 && gap < kMaxTickGapUs,
              "sar: timer interrupts keep running during a stuck conversion",
              "longest gap between ticks " + std::to_string(gap) + " us");
  }

  // A client that reads the converter inside its own interrupt-safe lock on
  // CPU 1, and takes that lock in a timer on CPU 0, while a stuck conversion
  // for user space waits on CPU 0: both CPUs go on. The client shares that
  // conversion, waiting one conversion's wait at most; "converter busy" (a
  // stuck converter) stays rate-limited.
  void check_atomic_client_on_other_cpu(const Device& dev) {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    CPU_SET(0, &cpus);
    int pinned = ::sched_setaffinity(0, sizeof(cpus), &cpus);
    int err = load_module(kAtomicClient);
    if (!c_.expect(pinned == 0 && err == 0, "sar: atomic client loads on CPU 1",
                   std::strerror(err)))
      return;
    KernelLog log;
    model_.set_stuck(true);
    sar_ioctl_data d{1, -1};
    auto r = read_channel(dev, d);
    model_.set_stuck(false);
    auto counter = [](const char* name) {
      return read_number(std::string(kAtomicParams) + name).value_or(-1);
    };
    // Both counters move on within 2 s (an emulated CPU may stall a while).
    auto calls = counter("calls"), ticks = counter("ticks");
    auto calls_then = calls, ticks_then = ticks;
    for (int i = 0; i < 40 && (calls_then <= calls || ticks_then <= ticks); ++i) {
      ::usleep(50000);
      calls_then = counter("calls");
      ticks_then = counter("ticks");
    }
    int unloaded = unload_module("board_sar_atomic");
    int busy = log.count("converter busy");
    CPU_SET(1, &cpus);
    ::sched_setaffinity(0, sizeof(cpus), &cpus);
    c_.expect(r.ok() && calls_then > calls && ticks_then > ticks && busy <= 10 && unloaded == 0,
              "sar: stuck conversion on CPU 0, atomic client on CPU 1: both go on",
              "rc " + std::to_string(r.rc) + ", calls " + std::to_string(calls) + ", ticks " +
                  std::to_string(ticks) + " (then " + std::to_string(calls_then) + ", " +
                  std::to_string(ticks_then) + "), busy lines " + std::to_string(busy));
  }

  // The client without its timer (with its lock held on CPU 1, a conversion
  // then always finishes on CPU 0) beside 200 reads of value: it shares their
  // conversions, none of its readings is 0. In a suspend to idle (the RTC's
  // alarm wakes it) its calls back off. IIO fails a stuck conversion.
  void check_client_beside_user_and_suspend() {
    int err = load_module(kAtomicClient, "tick=0");
    auto count = [](const char* name) {
      return read_number(std::string(kAtomicParams) + name).value_or(-1);
    };
    KernelLog log;
    auto calls = count("calls"), zeros = count("zeros");
    for (int i = 0; i < 200; ++i) read_text(dir_ + "value");
    auto zeros_then = count("zeros");
    c_.expect(err == 0 && count("calls") > calls && zeros_then == zeros &&
                  log.count("converter busy") == 0,
              "sar: user reads never turn a kernel client away",
              std::to_string(zeros_then - zeros));
    write_text("/sys/class/rtc/rtc0/wakealarm", "0");
    int slept = write_text("/sys/class/rtc/rtc0/wakealarm", "+2");
    if (slept == 0) slept = write_text("/sys/power/state", "freeze");
    c_.expect(slept == 0 && count("zeros") > zeros_then && log.count("converter suspended") > 0 &&
                  read_number(kClockEnables) == 1,
              "sar: exports back off while suspended; clock on after resume", std::strerror(slept));
    model_.set_stuck(true);
    errno = 0;
    bool raw =
        read_text(find_path("/sys/bus/iio/devices/*/in_voltage1_raw").value_or("")).has_value();
    int timed_out = errno;
    model_.set_stuck(false);
    c_.equal(raw ? 0 : timed_out, ETIMEDOUT, "sar: IIO read of a stuck conversion: ETIMEDOUT");
    unload_module("board_sar_atomic");
  }

  // Another module reads the converter through the exported functions. The
  // client declares a proprietary licence: plain exports must do for it.
  void check_exports() {
    int err = load_module(kClient);
    auto refs = read_number("/sys/module/sar_adc/refcnt");
    if (!c_.expect(
            err == 0 && refs == 1, "sar: proprietary module links against the exports",
            std::string(std::strerror(err)) + ", refcnt " + std::to_string(refs.value_or(-1)))) {
      unload_module("board_sar_client");
      return;
    }
    std::string channel = std::string(kClientParams) + "channel";
    std::string reading = std::string(kClientParams) + "reading";
    int set = write_text(channel, "3");
    c_.expect(set == 0 && read_number(reading) == kResults[3],
              "sar: qv_sar_get reads channel 3 for a module");
    KernelLog log;
    set = write_text(channel, "5");
    c_.expect(set == 0 && read_number(reading) == 0 &&
                  log.count("error channel,support SAR0,SAR1,SAR2,SAR3") == 1,
              "sar: qv_sar_get of channel 5 gives 0 and an error line");
    c_.equal(unload_module("board_sar_client"), 0, "sar: client of the exports unloads");
  }

  Checks& c_;
  SarModel model_;
  std::string dir_;
};

}  // namespace

void run_sar_checks(Checks& c) { SarChecks(c).run(); }

void run_sar_rebind_checks(Checks& c) { SarChecks(c).run_rebind(); }

void run_sar_export_checks(Checks& c) { SarChecks(c).run_exports(); }

void run_sar_smoke(Checks& c) {
  SarModel model;
  model.set_result(3, 0x1234);
  Device dev(kNode, O_RDONLY);
  sar_ioctl_data d{3, -1};
  bool ok = dev.is_open() && dev.ioctl(SAR_IOC_INIT, 0UL).ok() && read_channel(dev, d).ok();
  c.expect(ok && d.value == 0x1234, "sar: init and read after reloading sar_adc");
}

}  // namespace board
