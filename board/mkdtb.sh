#!/usr/bin/env bash
# Writes the board's device tree blob: QEMU's own tree for the "virt" machine
# (dumped with the same machine options as the boot), with the nodes of
# board/dt/board-nodes.dtsi appended, recompiled.
#
#   board/mkdtb.sh OUT.dtb
#
# The dump is always recompiled: booting QEMU's raw dump hangs, because its
# size field overflows the kernel's device-tree window once QEMU pads it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=board/machine.sh
. "$here/machine.sh"

out=${1:?usage: $0 OUT.dtb}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! log=$(qemu-system-arm "${BOARD_MACHINE[@]}" -machine dumpdtb="$work/virt.dtb" 2>&1); then
  echo "$log" >&2
  exit 1
fi
dtc -q -I dtb -O dts -o "$work/virt.dts" "$work/virt.dtb"
cat "$work/virt.dts" "$here/dt/board-nodes.dtsi" >"$work/board.dts"
# QEMU writes its phandles as plain numbers; dtc's checks of those are noise.
dtc -I dts -O dtb -W no-clocks_property -W no-gpios_property \
  -o "$out" "$work/board.dts"
