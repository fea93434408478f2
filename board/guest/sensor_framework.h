/* SPDX-License-Identifier: GPL-2.0 */
// The stand-in sensor framework (module sensor_framework), driven through
// its debugfs test interface: commands that call the sensor driver's
// operations on a pad, the emulated sensor's registers, and the call log.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace board {

struct SensorReply {
  int error = 0;     // errno of the command write (0: the slot was called)
  std::string text;  // "<command> ret=<n> key=value ..."

  std::optional<long long> ret() const { return field("ret"); }
  std::optional<long long> field(std::string_view key) const;
  std::optional<std::string> word(std::string_view key) const;
};

struct SensorCall {
  long long ns = 0;  // when the framework saw it
  std::string text;  // call name and arguments, without sequence and time
};

class SensorFramework {
 public:
  bool available() const;

  SensorReply command(int pad, std::string_view cmd) const;

  // Registers the driver wrote (or the test preset), by address.
  std::map<std::uint16_t, std::uint8_t> registers(int pad) const;
  std::optional<std::uint8_t> reg(int pad, std::uint16_t address) const;
  bool reset_registers(int pad) const;
  bool set_faults(int pad, std::string_view faults) const;

  // "key value" lines of the pad's info file.
  std::map<std::string, std::string> info(int pad) const;

  bool clear_log() const;
  std::vector<SensorCall> log() const;

 private:
  static std::string path(const std::string& name);
  static std::string pad_path(int pad, const char* name);
};

}  // namespace board
