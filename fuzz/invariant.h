/* SPDX-License-Identifier: GPL-2.0 */
// What the kernel fuzzers do when the driver breaks a rule the sanitizers
// cannot see: name the invariant and the bench's rule violations, then abort
// so that libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "kbench.h"

namespace fuzz {

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  for (const auto& v : kb::violations()) std::fprintf(stderr, "  violation: %s\n", v.c_str());
  std::abort();
}

inline void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

}  // namespace fuzz
