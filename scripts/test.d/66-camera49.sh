#!/usr/bin/env bash
# The whole camera on the Linux 4.9.337 debug kernel, as 64-camera does on
# 6.1. Skipped (exit 4) where the debug kernel's package is not beside the
# checkout.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/stage.sh
bash scripts/kernel/prepare.sh
# shellcheck source=/dev/null
. "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"
if [ -z "${KIMAGE_49:-}" ]; then
  skip "no Linux 4.9 debug kernel (its package is not beside the checkout)"
  stage_end
fi
exec bash board/camera/test.sh --kernel 4.9
