#!/usr/bin/env bash
# The modules under the kernel's own fault detectors: the virtual board on
# the Linux 4.9.337 debug kernel (lockdep, atomic-sleep checks, slab
# debugging, kmemleak, page-allocation checks), with the same in-guest checks
# plus a clean kernel log and a kmemleak scan, and the allocation-failure
# sweep of every driver through the kernel's fault injection, whose lines
# say per driver "N points, N exercised, M faults" (board/README.md). Skipped
# (exit 4) where the debug kernel's package is not beside the checkout.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/stage.sh
need_kernel49
# The fault-injection sweep adds about a minute and a half to this board.
BOARD_TIMEOUT=${BOARD_TIMEOUT:-360} exec bash board/run.sh --kernel 4.9
