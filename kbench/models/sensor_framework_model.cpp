// SPDX-License-Identifier: GPL-2.0
// Bench model of the camera sensor framework (see sensor_framework_model.h).
#include "sensor_framework_model.h"

#include <linux/delay.h>
#include <linux/kernel.h>
#include <linux/slab.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

extern "C" {
#include "cam_os.h"
}
#include "kbench.h"

namespace models::sensorfw {
namespace {

constexpr size_t kRegs = 0x10000;

struct Fault {
  uint16_t reg = 0;
  unsigned count = 0;
  bool hit(uint16_t addr) {
    if (!count || addr != reg) return false;
    --count;
    return true;
  }
};

struct Pad {
  Registration reg;
  bool refuse = false;
  camsensor_handle handle{};
  std::array<uint8_t, kRegs> regs{};
  std::vector<Transfer> transfers;
  Fault write_fault;
  Fault read_fault;
  Lines lines;
};

struct State {
  std::vector<Call> calls;
  std::array<Pad, kPads> pads;
  std::map<Interface, bool> refused;
  std::function<void(unsigned, uint16_t)> table_hook;
  std::function<void(unsigned, uint16_t)> entry_hook;
};

State& state() {
  static State s;
  return s;
}

// Registered at static-initialisation time; kb::reset() clears the model.
const bool reset_hook = [] {
  kb::on_reset([] { state() = State(); });
  return true;
}();

// printf-style so that the compiler checks every format against its
// arguments. NOLINTNEXTLINE(cert-dcl50-cpp)
__attribute__((format(printf, 1, 2))) void record(const char* fmt, ...) {
  char text[160];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(text, sizeof(text), fmt, ap);
  va_end(ap);
  state().calls.push_back({kb::now_ns(), text});
}

Pad* pad_of(u32 pad) { return pad < kPads ? &state().pads[pad] : nullptr; }

Pad& pad_of(camsensor_i2c_cfg* cfg) {
  auto* h = container_of(cfg, camsensor_handle, i2c_cfg);
  return state().pads.at(h->pad);
}

int check_format(const camsensor_i2c_cfg* cfg) {
  return cfg->i2c_mode == CAMSENSOR_I2C_MODE_REG && cfg->i2c_fmt == CAMSENSOR_I2C_FMT_A16D8
             ? 0
             : -EINVAL;
}

int write_one(Pad& p, camsensor_i2c_cfg* cfg, u16 reg, u16 data) {
  int ret = check_format(cfg);
  if (!ret && data > 0xFF) ret = -EINVAL;  // the sensor's registers are 8 bits
  if (!ret && p.write_fault.hit(reg)) ret = -EIO;
  if (!ret) p.regs[reg] = uint8_t(data);
  p.transfers.push_back({true, reg, data, ret, kb::now_ns()});
  record("write_reg(%u, 0x%04x, 0x%02x) = %d", p.handle.pad, reg, data, ret);
  return ret;
}

int model_write_reg(const camsensor_i2c_ops*, camsensor_i2c_cfg* cfg, u16 reg, u16 data) {
  return write_one(pad_of(cfg), cfg, reg, data);
}

int model_read_reg(const camsensor_i2c_ops*, camsensor_i2c_cfg* cfg, u16 reg, u16* data) {
  Pad& p = pad_of(cfg);
  int ret = check_format(cfg);
  if (!ret && p.read_fault.hit(reg)) ret = -EIO;
  if (!ret) *data = p.regs[reg];  // a failed read leaves *data alone
  p.transfers.push_back({false, reg, uint16_t(ret ? 0 : p.regs[reg]), ret, kb::now_ns()});
  record("read_reg(%u, 0x%04x) = %d", p.handle.pad, reg, ret);
  return ret;
}

int model_write_table(const camsensor_i2c_ops*, camsensor_i2c_cfg* cfg, const reg_entry* entries,
                      int count) {
  Pad& p = pad_of(cfg);
  record("write_table(%u, %d)", p.handle.pad, count);
  int ret = 0;
  for (int i = 0; i < count; ++i) {
    int err = write_one(p, cfg, entries[i].reg, entries[i].data);
    if (err && !ret) ret = err;
    if (state().entry_hook) state().entry_hook(p.handle.pad, entries[i].reg);
  }
  if (state().table_hook && count > 0) state().table_hook(p.handle.pad, entries[0].reg);
  return ret;
}

const camsensor_i2c_ops i2c_ops = {model_write_reg, model_read_reg, model_write_table};

int sif_set_pwdn(u32 pad, int level) {
  record("set_pwdn(%u, %d)", pad, level);
  if (Pad* p = pad_of(pad)) p->lines.pwdn = level;
  return 0;
}

int sif_set_reset(u32 pad, int level) {
  record("set_reset(%u, %d)", pad, level);
  if (Pad* p = pad_of(pad)) p->lines.reset = level;
  return 0;
}

int sif_set_mclk(u32 pad, int enable, u32 mclk_id) {
  record("set_mclk(%u, %d, %u)", pad, enable, mclk_id);
  if (Pad* p = pad_of(pad)) p->lines.mclk = enable;
  return 0;
}

int sif_if_setup_1(u32 pad, u32 if_mode, u32 lanes) {
  record("if_setup_1(%u, %u, %u)", pad, if_mode, lanes);
  return 0;
}

int sif_if_setup_2(u32 pad, int value) {
  record("if_setup_2(%u, %d)", pad, value);
  return 0;
}

int sif_if_setup_3(u32 pad, u16 lanes, int enable) {
  record("if_setup_3(%u, %u, %d)", pad, lanes, enable);
  return 0;
}

int sif_if_setup_4(u32 pad, u32 mode, u32 data_type, u32 flags) {
  record("if_setup_4(%u, %u, 0x%x, %u)", pad, mode, data_type, flags);
  return 0;
}

int sif_if_aux(u32 pad, int channel, int on) {
  record("if_aux(%u, %d, %d)", pad, channel, on);
  return 0;
}

const camsensor_sif_ops sif_ops = {sif_set_pwdn,   sif_set_reset,  sif_set_mclk,   sif_if_setup_1,
                                   sif_if_setup_2, sif_if_setup_3, sif_if_setup_4, sif_if_aux};

int version_check(Interface which, const char* name, u32 major, u32 minor) {
  int ret = state().refused[which] ? -1 : 0;
  record("%s(%u, %u) = %d", name, major, minor, ret);
  return ret;
}

}  // namespace

const std::vector<Call>& calls() { return state().calls; }

std::vector<std::string> call_texts(const std::vector<std::string_view>& names) {
  std::vector<std::string> out;
  for (const auto& c : state().calls) {
    std::string_view name = std::string_view(c.text).substr(0, c.text.find('('));
    bool wanted = names.empty();
    for (auto n : names) wanted = wanted || n == name;
    if (wanted) out.push_back(c.text);
  }
  return out;
}

void clear_calls() { state().calls.clear(); }

void refuse_version(Interface which) { state().refused[which] = true; }

const Registration& registration(unsigned pad) { return state().pads.at(pad).reg; }

void refuse_registration(unsigned pad) { state().pads.at(pad).refuse = true; }

int create_handle(unsigned pad) {
  Pad& p = state().pads.at(pad);
  if (!p.reg.registered) return -ENODEV;
  p.handle = camsensor_handle{};
  p.handle.pad = pad;
  p.handle.private_data = p.reg.private_data;
  p.handle.i2c_ops = &i2c_ops;
  p.handle.sif_ops = &sif_ops;
  return p.reg.init(&p.handle);
}

camsensor_handle& handle(unsigned pad) { return state().pads.at(pad).handle; }

uint8_t reg(unsigned pad, uint16_t addr) { return state().pads.at(pad).regs[addr]; }

void preset(unsigned pad, uint16_t addr, uint8_t value) { state().pads.at(pad).regs[addr] = value; }

const std::vector<Transfer>& transfers(unsigned pad) { return state().pads.at(pad).transfers; }

std::vector<std::pair<uint16_t, uint16_t>> written(unsigned pad) {
  std::vector<std::pair<uint16_t, uint16_t>> out;
  for (const auto& t : transfers(pad))
    if (t.write && t.ret == 0) out.emplace_back(t.reg, t.data);
  return out;
}

void fail_writes(unsigned pad, uint16_t addr, unsigned count) {
  state().pads.at(pad).write_fault = {addr, count};
}

void fail_reads(unsigned pad, uint16_t addr, unsigned count) {
  state().pads.at(pad).read_fault = {addr, count};
}

void on_write_table(std::function<void(unsigned, uint16_t)> hook) {
  state().table_hook = std::move(hook);
}

void on_table_entry(std::function<void(unsigned, uint16_t)> hook) {
  state().entry_hook = std::move(hook);
}

const Lines& lines(unsigned pad) { return state().pads.at(pad).lines; }

}  // namespace models::sensorfw

using models::sensorfw::Interface;
using models::sensorfw::record;

extern "C" {

int DrvSensorHandleVer(u32 major, u32 minor) {
  return models::sensorfw::version_check(Interface::Handle, __func__, major, minor);
}

int DrvSensorIFVer(u32 major, u32 minor) {
  return models::sensorfw::version_check(Interface::SensorIf, __func__, major, minor);
}

int DrvSensorI2CVer(u32 major, u32 minor) {
  return models::sensorfw::version_check(Interface::I2c, __func__, major, minor);
}

int DrvRegisterSensorDriverEx(u32 pad, camsensor_init_fn init, void* private_data) {
  models::sensorfw::Pad* p = models::sensorfw::pad_of(pad);
  int ret = 0;
  if (!p || !init || p->refuse)
    ret = -1;
  else if (p->reg.registered)
    ret = -EBUSY;
  else
    p->reg = {true, init, private_data, p->reg.slave_id};
  record("DrvRegisterSensorDriverEx(%u) = %d", pad, ret);
  return ret;
}

int DrvRegisterSensorI2CSlaveID(u32 pad, u8 id) {
  models::sensorfw::Pad* p = models::sensorfw::pad_of(pad);
  if (p) p->reg.slave_id = id;
  record("DrvRegisterSensorI2CSlaveID(%u, 0x%02x) = %d", pad, id, p ? 0 : -1);
  return p ? 0 : -1;
}

// Forgets the registration: the framework keeps no pointer into the driver.
int DrvSensorRelease(u32 pad) {
  models::sensorfw::Pad* p = models::sensorfw::pad_of(pad);
  int ret = p && p->reg.registered ? 0 : -ENOENT;
  if (!ret) {
    p->reg = {};
    p->handle = camsensor_handle{};
  }
  record("DrvSensorRelease(%u) = %d", pad, ret);
  return ret;
}

void* CamOsMemAlloc(u32 size) {
  void* ptr = kmalloc(size, GFP_KERNEL);
  record("CamOsMemAlloc(%u) = %s", size, ptr ? "ok" : "NULL");
  return ptr;
}

void CamOsMemRelease(void* ptr) {
  record("CamOsMemRelease(%s)", ptr ? "ptr" : "NULL");
  kfree(ptr);
}

int CamOsPrintf(const char* fmt, ...) {
  char text[256];
  va_list ap;
  va_start(ap, fmt);
  int len = std::vsnprintf(text, sizeof(text), fmt, ap);
  va_end(ap);
  record("CamOsPrintf(%.*s)", int(std::strcspn(text, "\n")), text);
  printk("%s", text);
  return len;
}

void CamOsMsSleep(u32 ms) {
  record("CamOsMsSleep(%u)", ms);
  msleep(ms);
}

void CamOsUsDelay(u32 us) {
  record("CamOsUsDelay(%u)", us);
  udelay(us);
}

}  // extern "C"
