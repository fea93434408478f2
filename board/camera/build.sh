#!/usr/bin/env bash
# Builds the virtual camera for one kernel: the staging root that
# scripts/install.sh makes for a board, plus what the board itself brings
# (busybox, Debian's armhf lighttpd, i2c-tools and their libraries, the VISCA head
# simulator as the camera's VISCA server, the platform stand-ins, the test
# models and the test hook camera_ctl), packed as the initramfs it boots.
#
#   board/camera/build.sh [--kernel 6.1|4.9] [--overlay DIR]
#     --overlay DIR   files copied over the root last (a benchmark's programs)
#
# Leaves build/board/KERNEL/{stage,camera-root,camera.cpio.gz}.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
board=$(cd "$here/.." && pwd)
top=$(cd "$board/.." && pwd)

kernel=6.1
overlay=
while [ $# -gt 0 ]; do
  case $1 in
    --kernel) kernel=${2:-}; shift 2 ;;
    --overlay) overlay=$(cd "${2:?}" && pwd); shift 2 ;;
    *) echo "usage: $0 [--kernel 6.1|4.9] [--overlay DIR]" >&2; exit 2 ;;
  esac
done

# The test board's build makes the stand-ins, the test models, the guest
# test program, the simulator, the test hook and the device tree.
bash "$board/build.sh" --kernel "$kernel" >&2
# shellcheck source=/dev/null
. "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"
# shellcheck source=board/kernels.sh
. "$board/kernels.sh"
board_kernel "$kernel"
common=${BOARD_OUT:-$top/build/board}
out=$common/$kernel
kmod=$out/kmod

# 1. The board's staging root, from the project's install rules alone.
stage=$out/stage
rm -rf "$stage"
# No password: the camera makes its own at first boot. Its own address is
# the allow-listed controller the guest's check and benchmark use.
bash "$top/scripts/install.sh" --kernel "$kernel" --against-standins --strip-modules \
  --controllers 127.0.0.1 "$stage" >&2
release=$(basename "$(find "$stage/lib/modules" -mindepth 1 -maxdepth 1 -type d)")

# 2. Debian's armhf lighttpd and i2c-tools and what they link, downloaded
# and unpacked into the cache (a folder per set), never installed on the host.
# shellcheck source=scripts/lib/armhf.sh
. "$top/scripts/lib/armhf.sh"
userland=$KCACHE/userland-armhf
# libc-bin only for its ldconfig, run at build time.
packages="lighttpd:armhf libc6:armhf libcrypt1:armhf libnettle8:armhf libpcre2-8-0:armhf
  libxxhash0:armhf libc-bin:armhf"
armhf_unpack "$userland" "$packages" camera
i2c_tools=$KCACHE/i2c-tools-armhf
armhf_unpack "$i2c_tools" "i2c-tools:armhf libi2c0:armhf" camera

# 3. The camera's root: the staging root, then the board's own parts.
root=$out/camera-root
rm -rf "$root"
cp -a "$stage" "$root"
mkdir -p "$root"/{bin,sbin,dev,proc,sys,run,tmp,root,etc/board,var/www/html,usr/bin,usr/libexec/camera}
cp "$BUSYBOX_ARM" "$root/bin/busybox"
for applet in $(qemu-arm-static "$BUSYBOX_ARM" --list); do
  [ "$applet" = busybox ] || ln -s busybox "$root/bin/$applet"
done
# lighttpd, its modules and the C library; no documentation, locales or
# character-set converters.
(cd "$userland/root" && tar -c --exclude='*/gconv' --exclude=lib/systemd --exclude=usr/lib/locale \
  lib usr/lib usr/sbin/lighttpd) | tar -C "$root" -x
# i2c-tools' programs for /dev/i2c-N and their library.
(cd "$i2c_tools/root" && tar -c usr/lib usr/sbin/i2cdetect usr/sbin/i2cdump usr/sbin/i2cget \
  usr/sbin/i2cset usr/sbin/i2ctransfer) | tar -C "$root" -x
install -m 0644 "$here/lighttpd.conf" "$root/etc/lighttpd/lighttpd.conf"
install -m 0644 "$here/camera-ctl.conf" "$root/etc/lighttpd/conf-enabled/90-camera-ctl.conf"
install -m 0755 "$here/init" "$root/init"
install -m 0644 "$board/checks.sh" "$root/etc/board/checks.sh"
printf '%s\n' 'root:x:0:0:root:/root:/bin/sh' 'www-data:x:33:33:www-data:/var/www:/bin/false' \
  >"$root/etc/passwd"
printf '%s\n' 'root:x:0:' 'www-data:x:33:' 'ptzcam:x:990:' >"$root/etc/group"
# mdev gives a node no line matches root:root 0660: the board's own lines
# come first, the installed line after them.
cat "$here/mdev.conf" "$stage/etc/mdev.conf" >"$root/etc/mdev.conf"

# Programs: the VISCA head simulator, the test hook, the guest test program,
# all built by the test board's build.
install -m 0755 "$common/visca_sim" "$root/usr/bin/visca_sim"
install -m 0755 "$common/camera_ctl" "$root/usr/libexec/camera/camera_ctl"
ln -s ../libexec/camera/camera_ctl "$root/usr/bin/camera_ctl"
install -m 0755 "$common/board_check" "$root/usr/bin/board_check"
cp "$top"/kbench/tests/data/mn34229_init_*.txt "$root/etc/board/"

# Modules the board kernel lacks (the platform stand-ins) and the test
# models, loaded before the drivers; Debian's kernel has its network, IIO
# (which modprobe brings for sar_adc) and i2c-dev (/dev/i2c-N) as modules.
extra=$root/lib/modules/$release/extra/board
mkdir -p "$extra"
conf=$root/etc/modules-load.d/10-board.conf
echo "# The virtual board: its network, and the test models behind the drivers" >"$conf"
if [ "$kernel" = 6.1 ]; then
  kroot=$(dirname "$(dirname "$KIMAGE_ARM")")/lib/modules/$release
  for ko in drivers/virtio/virtio_mmio.ko net/core/failover.ko drivers/net/net_failover.ko \
      drivers/net/virtio_net.ko drivers/iio/industrialio.ko drivers/i2c/i2c-dev.ko; do
    install -D -m 0644 "$kroot/kernel/$ko" "$root/lib/modules/$release/kernel/$ko"
  done
  cp "$kroot"/modules.{order,builtin,builtin.modinfo} "$root/lib/modules/$release/"
  printf '%s\n' virtio_mmio virtio_net i2c-dev >>"$conf"
fi
# From board/modules.txt, as the test board loads them: the drivers' options
# (the board has sensors on pads 0 and 1), a driver the install leaves off
# until it is configured enabled with them, and every other module loaded
# at start; the test models are listed, modprobe brings the stand-ins the
# drivers need.
options=$root/etc/modprobe.d/board.conf
echo "# The virtual board's settings of the drivers" >"$options"
grep -v '^#' "$board/modules.txt" | while read -r name src _deps when params; do
  if [ -z "$name" ] || [ "$when" = check ]; then
    continue
  elif [[ $src == drivers/* ]]; then
    if [ "$params" != - ]; then
      echo "options $name ${params//,/ }" >>"$options"
      sed -i "s/^#$name\$/$name/" "$root/etc/modules-load.d/ptzcam.conf"
    fi
    continue
  fi
  install -m 0644 "$kmod/$name/$name.ko" "$extra/"
  [[ $src != board/test_modules/* ]] || echo "$name" >>"$conf"
done
depmod -b "$root" "$release" 2>/dev/null

[ -z "$overlay" ] || cp -a "$overlay/." "$root/"
# The dynamic linker's cache, as a firmware build makes it: without it every
# dynamically linked program searches the library folders at each start.
qemu-arm-static "$userland/root/sbin/ldconfig" -r "$root"

# Owners as staged: the install gives the gateway's state folder to www-data.
(cd "$root" && find . | LC_ALL=C sort | cpio --quiet -o -H newc) |
  gzip -1 >"$out/camera.cpio.gz"
echo "camera: $kernel root $(du -sh "$root" | cut -f1) (staging root $(du -sh "$stage" | cut -f1))," \
  "initramfs $(du -h "$out/camera.cpio.gz" | cut -f1)" >&2
