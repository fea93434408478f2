#!/usr/bin/env bash
# Boots the virtual ARMv7 board with every module loaded and a shell on the
# console, to poke at the devices by hand (board/README.md).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec bash board/run.sh --shell "$@"
