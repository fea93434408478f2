/* SPDX-License-Identifier: GPL-2.0 */
// Small helpers for the files the checks go through: sysfs attributes,
// debugfs knobs of the test models, device nodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace board {

bool exists(const std::string& path);
bool is_char_device(const std::string& path);

std::optional<std::string> read_text(const std::string& path);
// Writes text in one write(); returns 0 or the errno of the failure.
int write_text(const std::string& path, std::string_view text);

// Reads a number written in decimal or, with 0x, in hexadecimal.
std::optional<long long> read_number(const std::string& path);
bool write_number(const std::string& path, long long value);

std::optional<std::vector<std::uint8_t>> read_bytes(const std::string& path, off_t offset,
                                                    std::size_t count);
bool write_bytes(const std::string& path, off_t offset, const std::vector<std::uint8_t>& bytes);

// The first entry of a directory whose path matches pattern (glob), if any.
std::optional<std::string> find_path(const std::string& pattern);

}  // namespace board
