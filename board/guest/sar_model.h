/* SPDX-License-Identifier: GPL-2.0 */
// The test model of the SAR converter (module board_sar_model), seen through
// its debugfs files: per-channel results to hand out, and the registers as
// the driver left them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace board {

struct SarRegisters {
  std::uint32_t ctrl = 0;
  std::uint32_t chan = 0;
  std::uint32_t data[4] = {};
};

class SarModel {
 public:
  bool available() const;

  bool set_result(int channel, std::uint16_t value) const;
  bool set_stuck(bool stuck) const;
  bool power_on_reset() const;  // every register back to zero

  std::optional<SarRegisters> registers() const;
  long long conversions() const;
  // Control register as the last finished conversion found it.
  std::optional<long long> last_ctrl() const;
  // Longest time between two ticks of the model's timer since the last
  // restart: how long interrupts stayed off meanwhile.
  std::optional<long long> max_tick_gap_us() const;
  bool restart_tick_gap() const;

 private:
  static std::string path(const std::string& name);
};

}  // namespace board
