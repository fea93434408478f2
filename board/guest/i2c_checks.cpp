// SPDX-License-Identifier: GPL-2.0
// Checks of gpio_i2c through /dev/rjgt102_i2c, against the register file of
// the slave model behind GPIO 12/13.

#include "i2c_checks.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <linux/rjgt102_i2c.h>

#include "checks.h"
#include "device.h"
#include "files.h"
#include "i2c_slave.h"
#include "kernel_log.h"
#include "kernel_module.h"

namespace board {
namespace {

constexpr const char* kNode = "/dev/rjgt102_i2c";
constexpr const char* kModuleDir = "/lib/modules/board/";
constexpr const char* kCopyError = "IOC_VDEC_INPUT_INIT error";
constexpr const char* kNackError = "fail: return NACK";

RegisterFile background() {
  RegisterFile regs{};
  for (unsigned i = 0; i < regs.size(); ++i) regs[i] = static_cast<std::uint8_t>(i * 7 + 0x5A);
  return regs;
}

std::uint8_t pattern(unsigned seed, unsigned k) {
  return static_cast<std::uint8_t>(seed * 31 + k * 13 + 1);
}

gpioi2c_block make_block(unsigned start, unsigned count, unsigned seed) {
  gpioi2c_block b{};
  b.start_reg = static_cast<__u8>(start);
  b.count = static_cast<__u8>(count);
  for (unsigned k = 0; k < GPIOI2C_DATA_LEN; ++k) b.data[k] = pattern(seed, k);
  return b;
}

std::uint8_t reg_at(unsigned start, unsigned k) {
  return static_cast<std::uint8_t>((start + k) & 0xFF);
}

class I2cChecks {
 public:
  explicit I2cChecks(Checks& c) : c_(c), dev_(kNode, O_RDWR) {}

  void run() {
    c_.expect(is_char_device(kNode), "i2c: /dev/rjgt102_i2c is a character device");
    auto misc = read_text("/sys/class/misc/rjgt102_i2c/dev");
    c_.expect(misc && misc->rfind("10:", 0) == 0, "i2c: registered as a misc device",
              misc ? *misc : "no /sys/class/misc/rjgt102_i2c");
    check_lines_requested();
    if (!c_.expect(dev_.is_open(), "i2c: device node opens", std::strerror(dev_.open_error())) ||
        !c_.expect(slave_.available(), "i2c: slave model present", "no debugfs files"))
      return;

    check_write_range();
    check_read_range();
    check_wrap();
    check_count_zero();
    check_full_block();
    check_long_count();
    check_unknown_commands();
    check_bad_pointers();
    check_absent_slave();
    check_refused_data();
    check_concurrent_callers();
    check_module_references();
    check_adapter();
  }

 private:
  bool reset_registers() { return slave_.set_registers(background()); }

  void check_lines_requested() {
    auto gpio = read_text("/sys/kernel/debug/gpio").value_or("");
    auto line = [&](const char* name) {
      auto at = gpio.find(name);
      return at == std::string::npos ? std::string() : gpio.substr(at, gpio.find('\n', at) - at);
    };
    auto scl = line("gpio-12 ");
    auto sda = line("gpio-13 ");
    c_.expect(!scl.empty() && !sda.empty(), "i2c: GPIO 12 and 13 requested", gpio);
    c_.expect(scl.find("out hi") != std::string::npos && sda.find("out hi") != std::string::npos,
              "i2c: bus idles with SCL and SDA driven high", scl + " / " + sda);
  }

  void check_write_range() {
    reset_registers();
    auto before = slave_.traffic();
    auto b = make_block(0x10, 8, 1);
    auto r = dev_.ioctl(GPIOI2C_CMD_WRITE, &b);
    auto moved = slave_.traffic() - before;
    auto regs = slave_.registers().value_or(RegisterFile{});
    c_.equal(r.rc, 0, "i2c: write of 8 registers returns 0");
    bool landed = true;
    for (unsigned k = 0; k < 8; ++k) landed &= regs[0x10 + k] == b.data[k];
    c_.expect(landed, "i2c: written values land in slave registers 0x10-0x17");
    c_.expect(regs[0x0F] == background()[0x0F] && regs[0x18] == background()[0x18],
              "i2c: registers around the range keep their values");
    c_.equal(moved, BusTraffic{8, 8, 24, 0}, "i2c: one transaction per written register");

    // The open mode is not consulted: a read-only open may write too.
    Device ro(kNode, O_RDONLY);
    auto one = make_block(0x20, 1, 2);
    auto r2 = ro.ioctl(GPIOI2C_CMD_WRITE, &one);
    c_.expect(r2.ok() && slave_.registers().value_or(RegisterFile{})[0x20] == one.data[0],
              "i2c: write through a read-only open");
  }

  void check_read_range() {
    auto regs = background();
    for (unsigned k = 0; k < 24; ++k) regs[0x40 + k] = pattern(3, k);
    slave_.set_registers(regs);
    auto before = slave_.traffic();
    auto b = make_block(0x40, 24, 9);
    auto sent = b;
    auto r = dev_.ioctl(GPIOI2C_CMD_READ, &b);
    auto moved = slave_.traffic() - before;
    c_.equal(r.rc, 0, "i2c: read of 24 registers returns 0");
    c_.expect(std::memcmp(b.data, &regs[0x40], 24) == 0,
              "i2c: read returns slave registers 0x40-0x57");
    c_.expect(std::memcmp(b.data + 24, sent.data + 24, GPIOI2C_DATA_LEN - 24) == 0 &&
                  b.start_reg == 0x40 && b.count == 24,
              "i2c: read copies the rest of the block back unchanged");
    c_.equal(moved, BusTraffic{48, 24, 72, 0},
             "i2c: read is start, register, repeated start, data, stop per register");
  }

  void check_wrap() {
    reset_registers();
    auto w = make_block(0xFE, 4, 4);
    dev_.ioctl(GPIOI2C_CMD_WRITE, &w);
    auto regs = slave_.registers().value_or(RegisterFile{});
    c_.expect(regs[0xFE] == w.data[0] && regs[0xFF] == w.data[1] && regs[0x00] == w.data[2] &&
                  regs[0x01] == w.data[3] && regs[0x02] == background()[0x02],
              "i2c: write from 0xFE wraps to 0x00 and 0x01");

    regs = background();
    for (unsigned k = 0; k < 4; ++k) regs[reg_at(0xFE, k)] = pattern(5, k);
    slave_.set_registers(regs);
    auto r = make_block(0xFE, 4, 6);
    dev_.ioctl(GPIOI2C_CMD_READ, &r);
    bool same = true;
    for (unsigned k = 0; k < 4; ++k) same &= r.data[k] == pattern(5, k);
    c_.expect(same, "i2c: read from 0xFE wraps to 0x00 and 0x01");
  }

  void check_count_zero() {
    reset_registers();
    auto before = slave_.traffic();
    auto b = make_block(0x33, 0, 7);
    auto sent = b;
    auto r = dev_.ioctl(GPIOI2C_CMD_READ, &b);
    c_.expect(r.ok() && std::memcmp(&b, &sent, sizeof(b)) == 0,
              "i2c: read with count 0 returns 0 and the block unchanged");
    auto w = dev_.ioctl(GPIOI2C_CMD_WRITE, &b);
    c_.expect(w.ok() && slave_.registers() == background(),
              "i2c: write with count 0 returns 0 and changes no register");
    c_.equal(slave_.traffic() - before, BusTraffic{}, "i2c: count 0 puts nothing on the bus");
  }

  void check_full_block() {
    reset_registers();
    slave_.reset_min_bit_ns();
    auto w = make_block(0x80, GPIOI2C_DATA_LEN, 8);
    dev_.ioctl(GPIOI2C_CMD_WRITE, &w);
    auto regs = slave_.registers().value_or(RegisterFile{});
    c_.expect(std::memcmp(&regs[0x80], w.data, GPIOI2C_DATA_LEN) == 0 &&
                  regs[0x80 + GPIOI2C_DATA_LEN] == background()[0x80 + GPIOI2C_DATA_LEN],
              "i2c: write of a full block of 88 registers");

    auto r = make_block(0x80, GPIOI2C_DATA_LEN, 0);
    auto t0 = std::chrono::steady_clock::now();
    dev_.ioctl(GPIOI2C_CMD_READ, &r);
    auto took = std::chrono::steady_clock::now() - t0;
    c_.expect(std::memcmp(r.data, w.data, GPIOI2C_DATA_LEN) == 0,
              "i2c: read of a full block of 88 registers");

    // The master's waits alone come to 386 us per register read.
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
    c_.expect(us >= 88L * 386, "i2c: 88-register read lasts at least its bus waits (34 ms)",
              std::to_string(us) + " us");
    // The master waits 10 us a bit when sending, 8 us when reading (four
    // waits of 2 us): never above 125 kHz. udelay() may return early
    // (<linux/delay.h>): ARM's timer delay rounds each wait down to whole
    // counter ticks, 124 of QEMU's 62.5 MHz counter for 2 us, and the first
    // tick may be partly gone: five ticks, 80 ns, 1% of a read bit. The
    // host's load only stretches a bit; a master that waits less fails.
    constexpr long long kReadBitNs = 8000;
    auto min_bit = slave_.min_bit_ns().value_or(0);
    c_.expect(min_bit >= kReadBitNs * 99 / 100,
              "i2c: SCL period within a byte at least 8 us, less 1% for udelay",
              std::to_string(min_bit) + " ns");
  }

  void check_long_count() {
    // Only the block's 88 values can be moved, whatever count says.
    reset_registers();
    auto before = slave_.traffic();
    auto w = make_block(0x00, 200, 10);
    auto res = dev_.ioctl(GPIOI2C_CMD_WRITE, &w);
    auto regs = slave_.registers().value_or(RegisterFile{});
    c_.expect(res.ok() && std::memcmp(&regs[0], w.data, GPIOI2C_DATA_LEN) == 0 &&
                  regs[GPIOI2C_DATA_LEN] == background()[GPIOI2C_DATA_LEN],
              "i2c: count above 88 writes the 88 registers of the block only");
    c_.equal((slave_.traffic() - before).stops, GPIOI2C_DATA_LEN,
             "i2c: count above 88 makes 88 transactions");
  }

  void check_unknown_commands() {
    reset_registers();
    auto before = slave_.traffic();
    for (unsigned long cmd : {0UL, 4UL, 0xFFUL, 0x6101UL}) {
      auto b = make_block(0x10, 4, 11);
      auto r = dev_.ioctl(cmd, &b);
      c_.expect(r.rc == -1 && r.error == EPERM,
                "i2c: unknown command " + std::to_string(cmd) + " fails with EPERM",
                "rc " + std::to_string(r.rc) + ", errno " + std::to_string(r.error));
    }
    // Command 2 is the kernel's own FIGETBSZ: the VFS answers it for every
    // file with the file system's block size, and the driver never sees it.
    KernelLog log;
    auto b = make_block(0x10, 4, 11);
    auto r = dev_.ioctl(2UL, &b);
    int block_size = 0;
    std::memcpy(&block_size, &b, sizeof(block_size));
    c_.expect(r.ok() && block_size > 0 && log.take().empty(),
              "i2c: command 2 is answered by the kernel (FIGETBSZ), not the driver",
              "rc " + std::to_string(r.rc) + ", block starts with " + std::to_string(block_size));
    c_.expect(slave_.traffic() - before == BusTraffic{} && slave_.registers() == background(),
              "i2c: unknown commands put nothing on the bus");
  }

  // A block that cannot be copied in fails with EFAULT before the bus is
  // touched; one that cannot be copied back fails after the transfers.
  void check_bad_pointers() {
    reset_registers();
    KernelLog log;
    auto before = slave_.traffic();
    auto r = dev_.ioctl(GPIOI2C_CMD_READ, nullptr);
    c_.expect(r.rc == -1 && r.error == EFAULT && log.count(kCopyError) == 1,
              "i2c: read with a null block fails with EFAULT and logs the copy error",
              "rc " + std::to_string(r.rc) + ", errno " + std::to_string(r.error));
    auto w = dev_.ioctl(GPIOI2C_CMD_WRITE, reinterpret_cast<void*>(0xC0000000UL));
    c_.expect(w.rc == -1 && w.error == EFAULT && log.count(kCopyError) == 1,
              "i2c: write with a kernel address fails with EFAULT",
              "rc " + std::to_string(w.rc) + ", errno " + std::to_string(w.error));

    // A block whose tail lies in an unmapped page.
    long page = ::sysconf(_SC_PAGESIZE);
    auto* map = static_cast<char*>(::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE,
                                          // An anonymous mapping takes fd -1.
                                          // cppcheck-suppress invalidFunctionArg
                                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (map == MAP_FAILED) {
      c_.expect(false, "i2c: block cut short by an unmapped page", "mmap failed");
      return;
    }
    ::munmap(map + page, page);
    auto b = make_block(0x10, 8, 12);
    std::memcpy(map + page - 40, &b, 40);
    auto p = dev_.ioctl(GPIOI2C_CMD_WRITE, map + page - 40);
    c_.expect(p.rc == -1 && p.error == EFAULT && slave_.registers() == background(),
              "i2c: block cut short by an unmapped page fails and writes nothing");
    c_.equal(slave_.traffic() - before, BusTraffic{},
             "i2c: blocks not copied in put nothing on the bus");

    // A read-only block: the registers are read, the copy back fails.
    auto ro = make_block(0x10, 2, 0);
    std::memcpy(map, &ro, sizeof(ro));
    ::mprotect(map, page, PROT_READ);
    log.skip();
    before = slave_.traffic();
    auto q = dev_.ioctl(GPIOI2C_CMD_READ, map);
    c_.expect(q.rc == -1 && q.error == EFAULT && log.count(kCopyError) == 1 &&
                  (slave_.traffic() - before).stops == 2,
              "i2c: read into a read-only block reads the bus, then fails with EFAULT");
    ::munmap(map, page);
  }

  void check_absent_slave() {
    reset_registers();
    slave_.set_present(false);
    KernelLog log;
    auto r = make_block(0x20, 3, 13);
    auto sent = r;
    auto rr = dev_.ioctl(GPIOI2C_CMD_READ, &r);
    c_.expect(rr.ok() && std::memcmp(&r, &sent, sizeof(r)) == 0,
              "i2c: read from an absent slave returns 0 and the data as sent");
    auto w = make_block(0x20, 3, 14);
    auto wr = dev_.ioctl(GPIOI2C_CMD_WRITE, &w);
    c_.expect(wr.ok() && slave_.registers() == background(),
              "i2c: write to an absent slave returns 0 and changes nothing");
    c_.equal(log.count(kNackError), 0, "i2c: absent slave logs no NACK message");
    slave_.set_present(true);
  }

  void check_refused_data() {
    reset_registers();
    slave_.set_nack_data(true);
    KernelLog log;
    auto before = slave_.traffic();
    auto w = make_block(0x50, 3, 15);
    auto r = dev_.ioctl(GPIOI2C_CMD_WRITE, &w);
    auto moved = slave_.traffic() - before;
    c_.expect(r.ok() && slave_.registers() == background(),
              "i2c: refused data bytes return 0 and change nothing");
    c_.equal(log.count(kNackError), 3, "i2c: each refused data byte logs a NACK message");
    c_.equal(moved.stops, 0, "i2c: no stop condition after a refused data byte");
    auto all = make_block(0x00, GPIOI2C_DATA_LEN, 15);
    dev_.ioctl(GPIOI2C_CMD_WRITE, &all);
    c_.expect(log.count(kNackError) <= 10, "i2c: NACK messages are rate-limited");
    slave_.set_nack_data(false);

    auto again = make_block(0x50, 1, 16);
    dev_.ioctl(GPIOI2C_CMD_WRITE, &again);
    c_.expect(slave_.registers().value_or(RegisterFile{})[0x50] == again.data[0],
              "i2c: next write after a refusal starts cleanly");
  }

  // Two processes, each writing and reading back its own range, many times.
  void check_concurrent_callers() {
    reset_registers();
    auto worker = [](unsigned start, unsigned seed) {
      Device dev(kNode, O_RDWR);
      for (unsigned round = 0; round < 20; ++round) {
        auto w = make_block(start, 16, seed + round);
        auto r = make_block(start, 16, 0);
        if (!dev.ioctl(GPIOI2C_CMD_WRITE, &w).ok() || !dev.ioctl(GPIOI2C_CMD_READ, &r).ok() ||
            std::memcmp(w.data, r.data, 16) != 0)
          return 1;
      }
      return 0;
    };
    pid_t pids[2];
    for (unsigned i = 0; i < 2; ++i) {
      pids[i] = ::fork();
      if (pids[i] == 0) ::_exit(worker(0xA0 + 0x20 * i, 100 * (i + 1)));
    }
    bool ok = true;
    for (pid_t pid : pids) {
      int status = 0;
      ok &= pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
            WEXITSTATUS(status) == 0;
    }
    c_.expect(ok, "i2c: two processes share the bus without corrupting each other");
  }

  // An open device keeps gpio_i2c loaded, and gpio_i2c's lines keep the
  // GPIO chip's module loaded.
  void check_module_references() {
    int driver = unload_module("gpio_i2c");
    c_.expect(driver == EAGAIN || driver == EBUSY,
              "i2c: gpio_i2c stays loaded while its device is open", std::strerror(driver));
    int chip = unload_module("board_i2c_slave");
    c_.expect(chip == EAGAIN || chip == EBUSY,
              "i2c: GPIO chip stays loaded while gpio_i2c holds its lines", std::strerror(chip));
  }

  // The I2C core's adapter on the same bus, through i2c-dev (the camera's
  // i2c-tools checks cover the SMBus side): a register pointer, then a block
  // read the master acknowledges byte by byte; a transfer too long for the
  // bus lock is refused.
  void check_adapter() {
    auto bus = gpio_i2c_bus();
    Device i2c(bus ? "/dev/i2c-" + std::to_string(*bus) : "/dev/null", O_RDWR);
    reset_registers();
    std::uint8_t reg = 0x10, block[65] = {};
    i2c_msg msgs[2] = {{0x68, 0, 1, &reg}, {0x68, I2C_M_RD, 8, block}};
    i2c_rdwr_ioctl_data xfer{msgs, 2};
    auto rd = i2c.ioctl(I2C_RDWR, &xfer);
    msgs[1].len = sizeof(block);
    auto too_long = i2c.ioctl(I2C_RDWR, &xfer);
    c_.expect(bus && rd.rc == 2 && std::memcmp(block, &background()[0x10], 8) == 0 &&
                  too_long.error == EOPNOTSUPP,
              "i2c: adapter gpio_i2c reads a block; refuses a 65-byte read",
              "rc " + std::to_string(rd.rc) + ", long: " + std::strerror(too_long.error));

    // Refused before anything goes on the bus: an SMBus block read (0x10
    // holds a length byte of 4), an address above 0x7F, a 10-bit address,
    // a split write, a read of no bytes.
    auto regs = background();
    regs[0x10] = 4;
    slave_.set_registers(regs);
    i2c_smbus_data data{};
    i2c_smbus_ioctl_data smbus{I2C_SMBUS_READ, 0x10, I2C_SMBUS_BLOCK_DATA, &data};
    auto before = slave_.traffic();
    bool ok = i2c.ioctl(I2C_SMBUS, &smbus).error == EOPNOTSUPP;
    std::uint8_t out[2] = {0x20, 0xAB};
    i2c_msg refused[][2] = {{{0x1E8, 0, 2, out}},
                            {{0x68, I2C_M_TEN, 2, out}},
                            {{0x68, 0, 1, out}, {0x68, I2C_M_NOSTART, 1, out + 1}},
                            {{0x68, I2C_M_RD, 0, block}}};
    for (auto& m : refused) {
      i2c_rdwr_ioctl_data x{m, m[1].buf ? 2U : 1U};
      ok &= i2c.ioctl(I2C_RDWR, &x).error == (m[0].addr > 0x7F ? EINVAL : EOPNOTSUPP);
    }
    c_.expect(ok && slave_.traffic() - before == BusTraffic{} && slave_.registers() == regs,
              "i2c: adapter refuses block reads, wide addresses, foreign flags, empty reads");
    refused[0][0].addr = 0x68;
    i2c_rdwr_ioctl_data write{refused[0], 1};
    c_.expect(
        i2c.ioctl(I2C_RDWR, &write).rc == 1 && slave_.registers().value_or(regs)[0x20] == 0xAB,
        "i2c: adapter writes after the refusals");

    // Exactly what xfer does: no quick command (its read is a read of no
    // bytes), and no transfer of no messages.
    unsigned long funcs = 0;
    i2c_rdwr_ioctl_data none{msgs, 0};
    before = slave_.traffic();
    auto empty = i2c.ioctl(I2C_RDWR, &none);
    c_.expect(i2c.ioctl(I2C_FUNCS, &funcs).ok() &&
                  funcs == (I2C_FUNC_I2C | (I2C_FUNC_SMBUS_EMUL & ~I2C_FUNC_SMBUS_QUICK)) &&
                  empty.error == EINVAL && slave_.traffic() - before == BusTraffic{},
              "i2c: adapter offers no quick command and refuses no messages",
              "funcs " + std::to_string(funcs) + ", no messages: rc " + std::to_string(empty.rc));

    // A client holding the bus lock across its pointer write and its read
    // is not split by a register read through /dev/rjgt102_i2c.
    regs[0x10] = 0xA5;
    regs[0x11] = 0x5A;
    slave_.set_registers(regs);
    pid_t client = ::fork();
    if (client == 0) ::_exit(slave_.locked_read(bus.value_or(-1)) == 0xA5 ? 0 : 1);
    ::usleep(100000);
    auto r = make_block(0x40, 1, 0);
    dev_.ioctl(GPIOI2C_CMD_READ, &r);
    int status = -1;
    ::waitpid(client, &status, 0);
    c_.expect(status == 0 && r.data[0] == regs[0x40],
              "i2c: a register read waits for a client's locked sequence",
              "client status " + std::to_string(status));
  }

  Checks& c_;
  Device dev_;
  I2cSlave slave_;
};

// gpio_i2c against a GPIO controller that is not there (GPIO 12 and 13 then
// have no descriptor, and gpiolib lets every call on them succeed) and one
// whose calls may sleep: each load is refused with its message. The chip and
// the driver are back as /init loaded them afterwards.
void check_line_refusals(Checks& c) {
  const std::string dir = kModuleDir;
  auto load = [&](const char* name, const std::string& params = "") {
    return load_module(dir + name + ".ko", params);
  };
  if (!c.equal(unload_module("gpio_i2c"), 0, "i2c: gpio_i2c unloads for the line checks")) return;
  {
    // GPIO 13 held by another user (exported through sysfs as an input).
    const std::string sda = "/sys/class/gpio/gpio13/direction";
    int exported = write_text("/sys/class/gpio/export", "13");
    int input = write_text(sda, "in");
    KernelLog log;
    int err = load("gpio_i2c");
    auto direction = read_text(sda).value_or("");
    auto gpio = read_text("/sys/kernel/debug/gpio").value_or("");
    c.expect(exported == 0 && input == 0 && err == EBUSY &&
                 log.count("gpio_request fail! gpio_num=13") == 1 && direction == "in\n" &&
                 gpio.find("gpio-12 ") == std::string::npos,
             "i2c: gpio_i2c refuses a line another user holds and leaves it alone",
             std::string(std::strerror(err)) + ", direction " + direction);
    if (err == 0) unload_module("gpio_i2c");
    write_text("/sys/class/gpio/unexport", "13");
  }
  bool chip = c.equal(unload_module("board_i2c_slave"), 0,
                      "i2c: GPIO chip unloads, GPIO 12 and 13 are gone");
  if (chip) {
    KernelLog log;
    int err = load("gpio_i2c");
    c.expect(err == ENODEV && log.count("gpio_i2c: GPIO 12 does not exist") == 1,
             "i2c: gpio_i2c refuses to load on GPIO lines that do not exist", std::strerror(err));
    if (err == 0) unload_module("gpio_i2c");
    chip = c.equal(load("board_i2c_slave", "lines_can_sleep=1"), 0,
                   "i2c: GPIO chip loads with lines that may sleep");
  }
  if (chip) {
    KernelLog log;
    int err = load("gpio_i2c");
    c.expect(err == EOPNOTSUPP && log.count("gpio_i2c: GPIO 12 may sleep") == 1,
             "i2c: gpio_i2c refuses to load on GPIO lines that may sleep", std::strerror(err));
    if (err == 0) unload_module("gpio_i2c");
    unload_module("board_i2c_slave");
  }
  int chip_err = load("board_i2c_slave");
  int driver_err = load("gpio_i2c");
  c.expect(chip_err == 0 && driver_err == 0 && is_char_device(kNode),
           "i2c: GPIO chip and gpio_i2c load again after the line checks",
           std::string(std::strerror(chip_err)) + " / " + std::strerror(driver_err));
}

}  // namespace

void run_i2c_checks(Checks& c) {
  I2cChecks(c).run();
  check_line_refusals(c);
}

void run_i2c_smoke(Checks& c) {
  I2cSlave slave;
  Device dev(kNode, O_RDWR);
  auto w = make_block(0x70, 4, 20);
  auto r = make_block(0x70, 4, 0);
  bool ok = dev.is_open() && dev.ioctl(GPIOI2C_CMD_WRITE, &w).ok() &&
            dev.ioctl(GPIOI2C_CMD_READ, &r).ok() && std::memcmp(w.data, r.data, 4) == 0;
  auto regs = slave.registers().value_or(RegisterFile{});
  c.expect(ok && std::memcmp(&regs[0x70], w.data, 4) == 0,
           "i2c: write and read back after reloading gpio_i2c");
}

}  // namespace board
