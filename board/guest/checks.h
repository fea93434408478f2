/* SPDX-License-Identifier: GPL-2.0 */
// Check reporting of the guest test program: one line per check on standard
// output, "PASS: name" or "FAIL: name (detail)". The board's /init counts them.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

namespace board {

class Checks {
 public:
  // Records one check; returns ok so callers can stop a dependent series.
  bool expect(bool ok, std::string_view name, std::string_view detail = {});

  // Shorthand for comparing an observed value with the expected one.
  template <typename T, typename U>
  bool equal(const T& got, const U& want, std::string_view name) {
    if (got == want) return expect(true, name);
    return expect(false, name, "got " + to_text(got) + ", want " + to_text(want));
  }

  int failed() const { return failed_; }

 private:
  static std::string to_text(const std::string& s) { return '"' + s + '"'; }
  static std::string to_text(std::string_view s) { return to_text(std::string(s)); }
  static std::string to_text(const char* s) { return to_text(std::string(s)); }
  static std::string to_text(bool b) { return b ? "true" : "false"; }
  // Numbers print as such; other types need a describe() beside them.
  template <typename T>
  static std::string to_text(const T& v) {
    if constexpr (std::is_arithmetic_v<T>)
      return std::to_string(v);
    else
      return describe(v);
  }

  int failed_ = 0;
};

}  // namespace board
