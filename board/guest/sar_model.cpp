// SPDX-License-Identifier: GPL-2.0
#include "sar_model.h"

#include <cstdlib>
#include <sstream>

#include "files.h"

namespace board {

std::string SarModel::path(const std::string& name) {
  return "/sys/kernel/debug/board_sar_model/" + name;
}

bool SarModel::available() const { return exists(path("regs")); }

bool SarModel::set_result(int channel, std::uint16_t value) const {
  return write_number(path("result" + std::to_string(channel)), value);
}

bool SarModel::set_stuck(bool stuck) const {
  return write_text(path("stuck"), stuck ? "1" : "0") == 0;
}

bool SarModel::power_on_reset() const { return write_text(path("reset"), "1") == 0; }

// The regset file has one "name = 0x%08x" line per register.
std::optional<SarRegisters> SarModel::registers() const {
  auto text = read_text(path("regs"));
  if (!text) return std::nullopt;
  SarRegisters regs;
  std::istringstream lines(*text);
  std::string name, eq, value;
  int found = 0;
  while (lines >> name >> eq >> value) {
    auto v = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 16));
    if (name == "ctrl")
      regs.ctrl = v;
    else if (name == "chan")
      regs.chan = v;
    else if (name.size() == 5 && name.rfind("data", 0) == 0 && name[4] >= '0' && name[4] <= '3')
      regs.data[name[4] - '0'] = v;
    else
      continue;
    ++found;
  }
  if (found != 6) return std::nullopt;
  return regs;
}

long long SarModel::conversions() const { return read_number(path("conversions")).value_or(-1); }

std::optional<long long> SarModel::last_ctrl() const { return read_number(path("last_ctrl")); }

std::optional<long long> SarModel::max_tick_gap_us() const {
  return read_number(path("max_gap_us"));
}

bool SarModel::restart_tick_gap() const { return write_number(path("max_gap_us"), 0); }

}  // namespace board
