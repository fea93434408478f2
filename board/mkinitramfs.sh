#!/usr/bin/env bash
# Packs the board's initramfs from what board/build.sh left in OUT (the
# modules of board/modules.txt, built for one kernel) and COMMON (the guest
# test program and the device tools), with busybox and /init.
#
#   board/mkinitramfs.sh OUT [COMMON]     (writes OUT/initramfs.cpio.gz)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: $0 OUT [COMMON]}
common=${2:-$out}
# shellcheck source=/dev/null
. "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"

root=$out/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,etc/board,lib/modules/board}

cp "$BUSYBOX_ARM" "$root/bin/busybox"
for applet in $(qemu-arm-static "$BUSYBOX_ARM" --list); do
  [ "$applet" = busybox ] || ln -s busybox "$root/bin/$applet"
done
install -m 0755 "$here/init" "$root/init"
install -m 0644 "$here/checks.sh" "$root/etc/board/checks.sh"
install -m 0755 "$common/board_check" "$root/bin/board_check"
install -m 0755 "$common/rjgt102-reg" "$common/sar-adc" "$root/bin/"
cp "$here/motd" "$root/etc/board/motd"
# The sensor's initialisation tables, shared with the host bench's tests.
cp "$here"/../kbench/tests/data/mn34229_init_*.txt "$root/etc/board/" 2>/dev/null || true

# NAME PARAMS of the modules /init loads, in load order: those of the
# kernel's own package that build.sh left in OUT/kernel-kos first.
: >"$root/etc/board/modules"
for ko in "$out"/kernel-kos/*.ko; do
  [ -f "$ko" ] || continue
  cp "$ko" "$root/lib/modules/board/"
  echo "$(basename "$ko" .ko) -" >>"$root/etc/board/modules"
done
grep -v '^#' "$here/modules.txt" | awk '$4 == "boot" { print $1, $5 }' >>"$root/etc/board/modules"
grep -v '^#' "$here/modules.txt" | awk '$4 == "late" { print $1, $5 }' >"$root/etc/board/modules.late"
# The shipped drivers, which the allocation-failure sweep goes through.
grep -v '^#' "$here/modules.txt" | awk '$2 ~ /^drivers\// { print $1 }' >"$root/etc/board/drivers"
for name in $(grep -v '^#' "$here/modules.txt" | awk 'NF { print $1 }'); do
  ko=$out/kmod/$name/$name.ko
  [ ! -f "$ko" ] || cp "$ko" "$root/lib/modules/board/"
done

# modprobe in the board's shell looks in /lib/modules/<release>: the same
# folder under that name, with the dependencies depmod finds.
release=$(modinfo -F vermagic "$root"/lib/modules/board/*.ko 2>/dev/null | awk '{ print $1; exit }')
if [ -n "$release" ]; then
  ln -s board "$root/lib/modules/$release"
  depmod -b "$root" "$release" 2>/dev/null
fi

(cd "$root" && find . | LC_ALL=C sort | cpio --quiet -o -H newc --owner=0:0) | gzip -1 >"$out/initramfs.cpio.gz"
