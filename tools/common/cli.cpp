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

std::string hex_byte(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof(text), "0x%02x", value & 0xffu);
  return text;
}

std::string error_text(int error) { return std::strerror(error); }

}  // namespace devtools
