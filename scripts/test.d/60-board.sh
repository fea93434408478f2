#!/usr/bin/env bash
# The modules in a real kernel: builds the virtual ARMv7 board for Debian's
# 6.1 armmp kernel, boots it under QEMU and runs the in-guest checks
# (board/README.md).
set -euo pipefail
cd "$(dirname "$0")/../.."
exec bash board/run.sh --kernel 6.1
