#!/usr/bin/env bash
# Step 3 of scripts/install.sh: the configuration files of dist/ in a
# staging root, as a firmware build lays them out.
#
#   scripts/install-config.sh ROOTFS
#
# etc/modules-load.d/ptzcam.conf, etc/modprobe.d/ptzcam.conf,
# etc/udev/rules.d/60-ptzcam.rules, the device line of etc/mdev.conf, and
# the group ptzcam that the device nodes belong to:
# usr/lib/sysusers.d/ptzcam.conf for a systemd board, and a line in the
# root's etc/group when it has one without the group.
set -euo pipefail
[ $# -eq 1 ] || { sed -n '2,/^set -e/{/^#/s/^# \{0,1\}//p}' "$0" >&2; exit 2; }
rootfs=$1
dist=$(cd "$(dirname "$0")/../dist" && pwd)

install -D -m 0644 "$dist/modules-load.d/ptzcam.conf" "$rootfs/etc/modules-load.d/ptzcam.conf"
install -D -m 0644 "$dist/modprobe.d/ptzcam.conf" "$rootfs/etc/modprobe.d/ptzcam.conf"
install -D -m 0644 "$dist/udev/60-ptzcam.rules" "$rootfs/etc/udev/rules.d/60-ptzcam.rules"
install -D -m 0644 "$dist/sysusers.d/ptzcam.conf" "$rootfs/usr/lib/sysusers.d/ptzcam.conf"
# mdev has one configuration file: add our line once, keep the rest.
line=$(grep -v '^#' "$dist/mdev.conf")
mkdir -p "$rootfs/etc"
touch "$rootfs/etc/mdev.conf"
grep -qxF "$line" "$rootfs/etc/mdev.conf" || cat "$dist/mdev.conf" >>"$rootfs/etc/mdev.conf"

# Without the group, udev and mdev leave the nodes root:root 0660. The
# highest free system gid, as systemd-sysusers picks it.
group=$rootfs/etc/group
if [ ! -f "$group" ]; then
  echo "install: $group is missing: the image must create the group ptzcam" \
    "(usr/lib/sysusers.d/ptzcam.conf)"
elif ! grep -q '^ptzcam:' "$group"; then
  gid=999
  while [ "$gid" -gt 100 ] && cut -d: -f3 "$group" | grep -qx "$gid"; do gid=$((gid - 1)); done
  echo "ptzcam:x:$gid:" >>"$group"
  echo "install: added the group ptzcam ($gid) to $group"
fi
