// SPDX-License-Identifier: GPL-2.0
#include "checks.h"

#include <cstdio>
#include <string>

namespace board {

bool Checks::expect(bool ok, std::string_view name, std::string_view detail) {
  if (ok) {
    std::printf("PASS: %.*s\n", static_cast<int>(name.size()), name.data());
  } else {
    ++failed_;
    // One line per check: the board's /init counts them.
    std::string flat(detail);
    for (auto& ch : flat)
      if (ch == '\n' || ch == '\r') ch = ' ';
    std::printf("FAIL: %.*s (%s)\n", static_cast<int>(name.size()), name.data(), flat.c_str());
  }
  std::fflush(stdout);
  return ok;
}

}  // namespace board
