/* SPDX-License-Identifier: GPL-2.0 */
// Expected register programming of the MN34229 in its two video modes, read
// from the tables the host bench uses too (copied into the initramfs).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace board {

struct SensorRow {
  std::uint16_t reg;
  std::uint8_t data;
};

constexpr unsigned kSensorInitRows = 155;

// Rows of mode 0 (30 fps) or mode 1 (60 fps), in writing order; nothing when
// the table files are missing or malformed.
std::optional<std::vector<SensorRow>> sensor_init_rows(int mode);
// What the sensor's registers hold once the rows are written.
std::map<std::uint16_t, std::uint8_t> final_registers(const std::vector<SensorRow>& rows);

}  // namespace board
