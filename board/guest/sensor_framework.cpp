// SPDX-License-Identifier: GPL-2.0
#include "sensor_framework.h"

#include <cstdlib>
#include <sstream>

#include "files.h"

namespace board {

namespace {

std::optional<std::string> value_after(std::string_view text, std::string_view key) {
  std::string needle = " " + std::string(key) + "=";
  auto at = text.find(needle);
  if (at == std::string_view::npos) return std::nullopt;
  auto begin = at + needle.size();
  auto end = text.find_first_of(" \n", begin);
  return std::string(text.substr(begin, end == std::string_view::npos ? end : end - begin));
}

}  // namespace

std::optional<long long> SensorReply::field(std::string_view key) const {
  auto v = word(key);
  if (!v || v->empty()) return std::nullopt;
  char* end = nullptr;
  long long n = std::strtoll(v->c_str(), &end, 0);
  if (*end != '\0') return std::nullopt;
  return n;
}

std::optional<std::string> SensorReply::word(std::string_view key) const {
  return value_after(text, key);
}

std::string SensorFramework::path(const std::string& name) {
  return "/sys/kernel/debug/sensor_framework/" + name;
}

std::string SensorFramework::pad_path(int pad, const char* name) {
  return path("pad" + std::to_string(pad) + "/" + name);
}

bool SensorFramework::available() const { return exists(path("log")); }

SensorReply SensorFramework::command(int pad, std::string_view cmd) const {
  SensorReply reply;
  reply.error = write_text(pad_path(pad, "cmd"), std::string(cmd) + "\n");
  if (reply.error == 0) {
    reply.text = read_text(pad_path(pad, "cmd")).value_or("");
    if (!reply.text.empty() && reply.text.back() == '\n') reply.text.pop_back();
  }
  return reply;
}

std::map<std::uint16_t, std::uint8_t> SensorFramework::registers(int pad) const {
  std::map<std::uint16_t, std::uint8_t> regs;
  std::istringstream lines(read_text(pad_path(pad, "regs")).value_or(""));
  std::string reg, value;
  while (lines >> reg >> value)
    regs[static_cast<std::uint16_t>(std::strtoul(reg.c_str(), nullptr, 16))] =
        static_cast<std::uint8_t>(std::strtoul(value.c_str(), nullptr, 16));
  return regs;
}

std::optional<std::uint8_t> SensorFramework::reg(int pad, std::uint16_t address) const {
  auto regs = registers(pad);
  auto it = regs.find(address);
  if (it == regs.end()) return std::nullopt;
  return it->second;
}

bool SensorFramework::reset_registers(int pad) const {
  return write_text(pad_path(pad, "regs"), "reset\n") == 0;
}

bool SensorFramework::set_faults(int pad, std::string_view faults) const {
  return write_text(pad_path(pad, "faults"), std::string(faults) + "\n") == 0;
}

std::map<std::string, std::string> SensorFramework::info(int pad) const {
  std::map<std::string, std::string> info;
  std::istringstream lines(read_text(pad_path(pad, "info")).value_or(""));
  std::string line;
  while (std::getline(lines, line)) {
    auto space = line.find(' ');
    if (space != std::string::npos) info[line.substr(0, space)] = line.substr(space + 1);
  }
  return info;
}

bool SensorFramework::clear_log() const { return write_text(path("log"), "\n") == 0; }

std::vector<SensorCall> SensorFramework::log() const {
  std::vector<SensorCall> calls;
  std::istringstream lines(read_text(path("log")).value_or(""));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    long long seq = 0;
    SensorCall call;
    if (!(fields >> seq >> call.ns)) continue;
    std::getline(fields >> std::ws, call.text);
    calls.push_back(call);
  }
  return calls;
}

}  // namespace board
