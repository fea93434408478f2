// SPDX-License-Identifier: GPL-2.0
#include "i2c_slave.h"

#include <algorithm>

#include "files.h"

namespace board {

std::string describe(const BusTraffic& t) {
  return std::to_string(t.starts) + " starts, " + std::to_string(t.stops) + " stops, " +
         std::to_string(t.acked) + " acked, " + std::to_string(t.nacked) + " nacked";
}

std::string I2cSlave::path(const char* name) {
  return std::string("/sys/kernel/debug/board_i2c_slave/") + name;
}

bool I2cSlave::available() const { return exists(path("regs")); }

std::optional<RegisterFile> I2cSlave::registers() const {
  auto bytes = read_bytes(path("regs"), 0, RegisterFile().size());
  if (!bytes) return std::nullopt;
  RegisterFile regs{};
  std::copy(bytes->begin(), bytes->end(), regs.begin());
  return regs;
}

bool I2cSlave::set_registers(const RegisterFile& regs) const {
  return write_bytes(path("regs"), 0, std::vector<std::uint8_t>(regs.begin(), regs.end()));
}

BusTraffic I2cSlave::traffic() const {
  auto get = [](const char* name) { return read_number(path(name)).value_or(-1); };
  return {get("starts"), get("stops"), get("acked"), get("nacked")};
}

std::optional<long long> I2cSlave::min_bit_ns() const { return read_number(path("min_bit_ns")); }

bool I2cSlave::reset_min_bit_ns() const { return write_number(path("min_bit_ns"), 0); }

bool I2cSlave::set_present(bool present) const {
  return write_text(path("present"), present ? "1" : "0") == 0;
}

bool I2cSlave::set_nack_data(bool nack) const {
  return write_text(path("nack_data"), nack ? "1" : "0") == 0;
}

std::optional<long long> I2cSlave::locked_read(int bus) const {
  if (write_text(path("locked_read"), std::to_string(bus)) != 0) return std::nullopt;
  return read_number(path("locked_value"));
}

std::optional<int> gpio_i2c_bus() {
  for (int n = 0; n < 64; ++n)
    if (read_text("/sys/bus/i2c/devices/i2c-" + std::to_string(n) + "/name") == "gpio_i2c\n")
      return n;
  return std::nullopt;
}

}  // namespace board
