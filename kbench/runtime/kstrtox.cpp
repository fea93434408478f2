// SPDX-License-Identifier: GPL-2.0
// simple_strtoull()/simple_strtoul() with the kernel's rules, which differ
// from the C library's: no leading white space or sign is skipped and an
// overflowing value wraps instead of saturating.
#include <linux/kstrtox.h>

namespace {

unsigned digit_value(char c) {
  if (c >= '0' && c <= '9') return unsigned(c - '0');
  c = char(c | 0x20);
  if (c >= 'a' && c <= 'z') return unsigned(c - 'a' + 10);
  return 36;
}

}  // namespace

extern "C" {

unsigned long long simple_strtoull(const char* cp, char** endp, unsigned int base) {
  if (base == 0) {
    base = 10;
    if (cp[0] == '0') {
      base = 8;
      if ((cp[1] | 0x20) == 'x' && digit_value(cp[2]) < 16) base = 16;
    }
  }
  if (base == 16 && cp[0] == '0' && (cp[1] | 0x20) == 'x') cp += 2;
  unsigned long long result = 0;
  for (unsigned v; (v = digit_value(*cp)) < base; ++cp) result = result * base + v;
  if (endp) *endp = const_cast<char*>(cp);
  return result;
}

unsigned long simple_strtoul(const char* cp, char** endp, unsigned int base) {
  return static_cast<unsigned long>(simple_strtoull(cp, endp, base));
}

}  // extern "C"
