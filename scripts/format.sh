#!/usr/bin/env bash
# Formats the tree's C++ with the root .clang-format, in place, or only
# checks it (--check: lists what differs and fails). Kernel C and the
# headers it shares (drivers, platform stand-ins, UAPI, the bench's stand-in
# kernel headers, the board's test modules, the C shims) keep the kernel's
# style and are left out.
#
#   scripts/format.sh [--check] [PATH...]
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
if [ "${1:-}" = --check ]; then
  check=1
  shift
fi
clang_format=$(command -v clang-format-14 || command -v clang-format) ||
  { echo "format: clang-format is not installed (scripts/setup.sh)" >&2; exit 2; }

mapfile -t files < <(git ls-files -- "${@:-.}" | grep -E '\.(cpp|h)$' |
  grep -vE '^(drivers|platform|include|board/test_modules|kbench/include)/' |
  grep -vE '_shim\.h$')
[ ${#files[@]} -gt 0 ] || exit 0
if [ "$check" -eq 1 ]; then
  "$clang_format" --dry-run -Werror "${files[@]}"
else
  "$clang_format" -i "${files[@]}"
fi
