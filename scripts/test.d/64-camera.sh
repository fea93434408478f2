#!/usr/bin/env bash
# The whole camera on Debian's 6.1 armmp kernel: the staging root of the
# install rules booted as the virtual ARMv7 camera, the main job's board
# mode, and the served end-to-end tests from the host against the guest
# (board/camera/test.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
exec bash board/camera/test.sh --kernel 6.1
