/* SPDX-License-Identifier: GPL-2.0 */
// Bench model of the camera sensor framework a sensor driver plugs into:
// the Drv* registration and version calls, the CamOs layer, and behind each
// pad's handle an emulated sensor register file (i2c_ops) and a recorder of
// the sensor interface (sif_ops).
//
// Every call the driver makes into the framework is logged with the virtual
// time (kb::now_ns()); kb::reset() clears the model.
#ifndef KBENCH_MODELS_SENSOR_FRAMEWORK_MODEL_H
#define KBENCH_MODELS_SENSOR_FRAMEWORK_MODEL_H

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

extern "C" {
#include "camsensor.h"
}

namespace models::sensorfw {

constexpr unsigned kPads = CAMSENSOR_MAX_PADS;

// One call into the framework, e.g. "set_reset(0, 1)" or
// "write_reg(0, 0x3022, 0x00) = 0", at the virtual time it was made.
struct Call {
  uint64_t time_ns;
  std::string text;
};
const std::vector<Call>& calls();
// The texts of the calls whose name is one of names (all calls if empty).
std::vector<std::string> call_texts(const std::vector<std::string_view>& names = {});
void clear_calls();

// --- Version checks ---------------------------------------------------------
enum class Interface { Handle, SensorIf, I2c };
// The interface's check returns -1 from now on (until reset).
void refuse_version(Interface which);

// --- Registration -------------------------------------------------------------
struct Registration {
  bool registered = false;
  camsensor_init_fn init = nullptr;
  void* private_data = nullptr;
  int slave_id = -1;  // -1: never set
};
const Registration& registration(unsigned pad);
// DrvRegisterSensorDriverEx refuses the pad (returns -1) from now on.
void refuse_registration(unsigned pad);

// --- Handles ---------------------------------------------------------------------
// Creates the pad's handle as the framework does: zero-filled apart from the
// framework's own fields, with private_data, i2c_ops and sif_ops set, and
// calls the registered init function. Returns its result (-19 when the pad
// is not registered).
int create_handle(unsigned pad);
camsensor_handle& handle(unsigned pad);

// --- Emulated sensor ----------------------------------------------------------------
// Register file of 64 Ki 8-bit registers per pad, all 0 after reset().
uint8_t reg(unsigned pad, uint16_t addr);
void preset(unsigned pad, uint16_t addr, uint8_t value);
struct Transfer {
  bool write;
  uint16_t reg;
  uint16_t data;
  int ret;
  uint64_t time_ns;
};
// Every read_reg and write_reg attempt on the pad, table entries included.
const std::vector<Transfer>& transfers(unsigned pad);
// Successful writes only, as (register, value).
std::vector<std::pair<uint16_t, uint16_t>> written(unsigned pad);
// The next count writes (or reads) of register addr fail with -5.
void fail_writes(unsigned pad, uint16_t addr, unsigned count);
void fail_reads(unsigned pad, uint16_t addr, unsigned count);
// Called after each write_table has written its entries, with the pad and
// the table's first register, before it returns to the driver.
void on_write_table(std::function<void(unsigned pad, uint16_t first_reg)> hook);
// Called after each entry of a write_table has been written, with the pad
// and the entry's register: another context of the framework at work while
// the table is on the bus.
void on_table_entry(std::function<void(unsigned pad, uint16_t reg)> hook);

// Line levels the sensor interface last drove per pad (-1: never).
struct Lines {
  int pwdn = -1;
  int reset = -1;
  int mclk = -1;
};
const Lines& lines(unsigned pad);

}  // namespace models::sensorfw

#endif
