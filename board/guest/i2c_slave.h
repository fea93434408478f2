/* SPDX-License-Identifier: GPL-2.0 */
// The test model of the register bus (module board_i2c_slave), seen through
// its debugfs files: the slave's register file and what it saw on the bus.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace board {

using RegisterFile = std::array<std::uint8_t, 256>;

struct BusTraffic {
  long long starts = 0;  // start and repeated start conditions
  long long stops = 0;
  long long acked = 0;   // bytes the slave acknowledged
  long long nacked = 0;  // bytes the slave refused

  BusTraffic operator-(const BusTraffic& earlier) const {
    return {starts - earlier.starts, stops - earlier.stops, acked - earlier.acked,
            nacked - earlier.nacked};
  }
  bool operator==(const BusTraffic& o) const {
    return starts == o.starts && stops == o.stops && acked == o.acked && nacked == o.nacked;
  }
};

std::string describe(const BusTraffic& t);

// Number N of the I2C core's adapter "gpio_i2c" (/dev/i2c-N), if registered.
std::optional<int> gpio_i2c_bus();

class I2cSlave {
 public:
  bool available() const;

  std::optional<RegisterFile> registers() const;
  bool set_registers(const RegisterFile& regs) const;

  BusTraffic traffic() const;
  // Shortest SCL period seen within a byte since the last reset, in ns.
  std::optional<long long> min_bit_ns() const;
  bool reset_min_bit_ns() const;

  bool set_present(bool present) const;
  bool set_nack_data(bool nack) const;
  // As a client of adapter `bus` holding its lock: pointer 0x10, 300 ms,
  // one byte read. The byte, or nothing when a transfer failed.
  std::optional<long long> locked_read(int bus) const;

 private:
  static std::string path(const char* name);
};

}  // namespace board
