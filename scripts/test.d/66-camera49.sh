#!/usr/bin/env bash
# The whole camera on the Linux 4.9.337 debug kernel, as 64-camera does on
# 6.1. Skipped (exit 4) where the debug kernel's package is not beside the
# checkout.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/stage.sh
need_kernel49
exec bash board/camera/test.sh --kernel 4.9
