#!/usr/bin/env bash
# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$(nproc)"
ctest --preset asan -j"$(nproc)"
