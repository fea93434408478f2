/* SPDX-License-Identifier: GPL-2.0 */
// Pieces both device tools share: number parsing as firmware engineers type
// numbers, and the console a tool writes to.
#ifndef TOOLS_COMMON_CLI_H
#define TOOLS_COMMON_CLI_H

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace devtools {

// Exit statuses of the tools.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the device or the bus failed
constexpr int kExitUsage = 2;   // the command line was wrong

// Decimal or 0x-prefixed hexadecimal, no sign, no blanks, at most max.
// A leading 0 does not mean octal: "010" is ten.
std::optional<unsigned long> parse_number(std::string_view text, unsigned long max);

// Where a tool's output goes; tests collect it, main() writes it to the
// standard streams and flushes every piece so pipes see each line at once.
struct Console {
  std::function<void(std::string_view)> out;
  std::function<void(std::string_view)> err;
};

// The console of a program: standard output and error, flushed after every
// piece. A failed write to standard output sets *out_failed, so that a tool
// whose output was lost does not report success.
Console stdio_console(bool* out_failed);

// "5a" and "0x5a": the low byte of value in hexadecimal.
std::string hex2(unsigned value);
std::string hex_byte(unsigned value);

// The text of an errno value, e.g. "Bad address".
std::string error_text(int error);

}  // namespace devtools

#endif
