// SPDX-License-Identifier: GPL-2.0
#include "cli.h"

#include <cstdio>
#include <cstring>

namespace devtools {

std::optional<unsigned long> parse_number(std::string_view text, unsigned long max) {
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  unsigned long value = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = unsigned(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = unsigned(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = unsigned(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (digit >= base || digit > max || value > (max - digit) / base) return std::nullopt;
    value = value * base + digit;
  }
  return value;
}

std::string hex2(unsigned value) {
  constexpr char kDigits[] = "0123456789abcdef";
  return {kDigits[(value >> 4) & 0xFU], kDigits[value & 0xFU]};
}

std::string hex_byte(unsigned value) { return "0x" + hex2(value); }

Console stdio_console(bool* out_failed) {
  Console c;
  c.out = [out_failed](std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
      *out_failed = true;
  };
  // Nothing is left to tell about a failed error message.
  c.err = [](std::string_view text) {
    (void)std::fwrite(text.data(), 1, text.size(), stderr);
    (void)std::fflush(stderr);
  };
  return c;
}

std::string error_text(int error) { return std::strerror(error); }

}  // namespace devtools
