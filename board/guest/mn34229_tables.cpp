// SPDX-License-Identifier: GPL-2.0
#include "mn34229_tables.h"

#include <cstdlib>
#include <sstream>
#include <string>

#include "files.h"

namespace board {

namespace {

constexpr const char* kRows30fps = "/etc/board/mn34229_init_30fps.txt";
constexpr const char* kChanges60fps = "/etc/board/mn34229_init_60fps_changes.txt";

// Lines of numbers (decimal or 0x), '#' comments skipped.
std::optional<std::vector<std::vector<unsigned long>>> read_table(const char* path,
                                                                  std::size_t columns) {
  auto text = read_text(path);
  if (!text) return std::nullopt;
  std::vector<std::vector<unsigned long>> table;
  std::istringstream lines(*text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::vector<unsigned long> row;
    std::string field;
    while (fields >> field) row.push_back(std::strtoul(field.c_str(), nullptr, 0));
    if (row.size() != columns) return std::nullopt;
    table.push_back(row);
  }
  return table;
}

}  // namespace

std::optional<std::vector<SensorRow>> sensor_init_rows(int mode) {
  auto base = read_table(kRows30fps, 3);  // row register value
  if (!base || base->size() != kSensorInitRows) return std::nullopt;
  std::vector<SensorRow> rows;
  for (const auto& r : *base)
    rows.push_back({static_cast<std::uint16_t>(r[1]), static_cast<std::uint8_t>(r[2])});
  if (mode == 1) {
    auto changes = read_table(kChanges60fps, 4);  // row register value_30 value_60
    if (!changes) return std::nullopt;
    for (const auto& c : *changes) {
      if (c[0] >= rows.size() || rows[c[0]].reg != c[1]) return std::nullopt;
      rows[c[0]].data = static_cast<std::uint8_t>(c[3]);
    }
  }
  return rows;
}

std::map<std::uint16_t, std::uint8_t> final_registers(const std::vector<SensorRow>& rows) {
  std::map<std::uint16_t, std::uint8_t> regs;
  for (const auto& row : rows) regs[row.reg] = row.data;
  return regs;
}

}  // namespace board
