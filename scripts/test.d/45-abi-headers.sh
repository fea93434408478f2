#!/usr/bin/env bash
# The ioctl headers compile on their own, in C and C++, for the host and
# ARMv7, with the ABI layout asserted (include/check/uapi_abi.c).
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/stage.sh

for cc in gcc arm-linux-gnueabihf-gcc; do
  cxx=${cc%gcc}g++
  for h in include/uapi/linux/*.h; do
    inc="#include <linux/$(basename "$h")>"
    echo "$inc" | $cc -std=c99 -pedantic -Wall -Wextra -Werror -Iinclude/uapi -fsyntax-only -x c - ||
      fail "$h does not compile alone as C ($cc)"
    echo "$inc" | $cxx -std=c++11 -pedantic -Wall -Wextra -Werror -Iinclude/uapi -fsyntax-only -x c++ - ||
      fail "$h does not compile alone as C++ ($cxx)"
  done
  $cc -std=c11 -pedantic -Wall -Wextra -Werror -Iinclude/uapi -fsyntax-only include/check/uapi_abi.c ||
    fail "ABI layout check failed in C ($cc)"
  $cxx -std=c++17 -pedantic -Wall -Wextra -Werror -Iinclude/uapi -fsyntax-only -x c++ include/check/uapi_abi.c ||
    fail "ABI layout check failed in C++ ($cxx)"
done
[ "$stage_failed" -eq 0 ] && pass "ioctl headers compile alone and keep their layout (C, C++; host, ARMv7)"
stage_end
