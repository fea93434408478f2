#!/usr/bin/env bash
# Prepares everything needed to build kernel modules out of tree, for the
# ARMv7 board and for the host, and writes $KCACHE/env.sh describing it.
#
# The ARMv7 headers, kernel image and busybox are downloaded and unpacked into
# the cache, never installed: installing the armhf headers package would pull
# in an armhf compiler and remove the host toolchain.
#
# Idempotent and safe to run from several worktrees at once (flock); silent
# when the cache is already complete.
set -euo pipefail

KCACHE=${KCACHE:-/var/cache/ptzcam-kernel}
mkdir -p "$KCACHE"
exec 9>"$KCACHE/.lock"
flock 9

log() { echo "prepare: $*" >&2; }
die() { echo "prepare: $*" >&2; exit 1; }

if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  log "adding the armhf architecture"
  dpkg --add-architecture armhf
  apt-get -o DPkg::Lock::Timeout=900 update -qq
fi

# The ABI changes with security updates and old ones leave the archive, so
# the version is derived from apt on every run (after refreshing the package
# lists once if they do not know it).
# apt's own cache of the package lists is kept here (an image may turn it
# off, and every lookup then reads all the lists again, seconds of CPU); apt
# checks it against the lists and rebuilds it when they change.
resolve_kver() {
  apt-cache -o Dir::Cache::pkgcache="$KCACHE/apt-pkgcache.bin" \
    depends linux-headers-armmp:armhf 2>/dev/null |
    sed -n 's/^ *Depends: linux-headers-\([^:]*\)\(:armhf\)\?$/\1/p' | head -n1
}
KVER=$(resolve_kver)
if [ -z "$KVER" ]; then
  apt-get -o DPkg::Lock::Timeout=900 update -qq
  KVER=$(resolve_kver)
fi
[ -n "$KVER" ] || die "cannot resolve linux-headers-armmp:armhf"
KABI=${KVER%-armmp}

host_kver=$(dpkg-query -W -f='${Depends}' linux-headers-amd64 2>/dev/null |
  sed -n 's/^linux-headers-\([^ ,]*\).*/\1/p')
[ -n "$host_kver" ] || die "linux-headers-amd64 is not installed (scripts/setup.sh)"
KDIR_HOST=/usr/src/linux-headers-$host_kver
[ -f "$KDIR_HOST/Makefile" ] || die "$KDIR_HOST is missing"

top=$KCACHE/$KVER
root=$top/root
KDIR_ARM=$root/usr/src/linux-headers-$KVER
KIMAGE_ARM=$root/boot/vmlinuz-$KVER
BUSYBOX_ARM=$root/bin/busybox
CHECKPATCH=$KCACHE/checkpatch/checkpatch.pl

write_env() {
  local tmp=$KCACHE/env.sh.tmp
  cat >"$tmp" <<ENV
# Written by scripts/kernel/prepare.sh; source it to build modules.
KCACHE=$KCACHE
KVER=$KVER
KABI=$KABI
KDIR_ARM=$KDIR_ARM
KDIR_HOST=$KDIR_HOST
KIMAGE_ARM=$KIMAGE_ARM
BUSYBOX_ARM=$BUSYBOX_ARM
CHECKPATCH=$CHECKPATCH
CROSS_COMPILE_ARM=arm-linux-gnueabihf-
KVER_49=$KVER_49
KDIR_49=$KDIR_49
KIMAGE_49=$KIMAGE_49
ENV
  if ! cmp -s "$tmp" "$KCACHE/env.sh"; then
    mv "$tmp" "$KCACHE/env.sh"
  else
    rm -f "$tmp"
  fi
}

work=$(mktemp -d "$KCACHE/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The Linux 4.9 debug kernel and its module build tree (not from apt: built
# once from the 4.9.337 release, see the package's BUILD.md), unpacked when
# the package is at hand, into a folder named by the package's content:
# every copy of the package shares it, whatever its files' times, and a tree
# is complete once it has its name (unpacked aside, then renamed) and is
# never removed, so a build in another checkout never loses it. A run that
# cannot see the package (a copy of the tree kept elsewhere) keeps the tree
# env.sh names, since the cache is shared by every checkout on the machine;
# KDIR_49 stays empty only when neither is there.
# It sits beside the checkout (../shared/kernel); a clone made from a local
# checkout also finds it beside that one.
if [ -z "${KPKG_49:-}" ]; then
  checkout=$(cd "$(dirname "$0")/../.." && pwd)
  KPKG_49=$checkout/../shared/kernel
  origin=$(git -C "$checkout" config --get remote.origin.url 2>/dev/null || true)
  if [ ! -d "$KPKG_49" ] && [ -d "$origin" ]; then
    KPKG_49=$origin/../shared/kernel
  fi
fi
KVER_49=4.9.337-dbg
KDIR_49=
KIMAGE_49=
pkg_49=("$KPKG_49/linux-headers-$KVER_49-armv7.tar.xz" "$KPKG_49/zImage-$KVER_49"
  "$KPKG_49/config-$KVER_49")
if sum_49=$(cat "${pkg_49[@]}" 2>/dev/null | sha256sum); then
  top_49=$KCACHE/$KVER_49-${sum_49:0:16}
  if [ ! -d "$top_49" ]; then
    log "unpacking the Linux $KVER_49 module tree and kernel"
    mkdir "$work/49"
    tar -xJf "${pkg_49[0]}" -C "$work/49"
    cp "${pkg_49[@]:1}" "$work/49/"
    mv -T "$work/49" "$top_49"
  fi
else
  top_49=$(sed -n 's/^KIMAGE_49=//p' "$KCACHE/env.sh" 2>/dev/null || true)
  top_49=${top_49%/*}
fi
if [ -f "$top_49/zImage-$KVER_49" ]; then
  KDIR_49=$top_49/linux-headers-$KVER_49-armv7
  KIMAGE_49=$top_49/zImage-$KVER_49
fi

if [ -f "$top/.done" ] && [ -f "$CHECKPATCH" ]; then
  write_env
  exit 0
fi

for tool in arm-linux-gnueabihf-gcc gcc make; do
  command -v "$tool" >/dev/null || die "$tool not found (scripts/setup.sh)"
done
src_tar=$(ls /usr/src/linux-source-6.1.tar.xz 2>/dev/null) ||
  die "linux-source-6.1 is not installed (scripts/setup.sh)"
kbuild_sys=/usr/lib/linux-kbuild-6.1
[ -d "$kbuild_sys/scripts" ] || die "linux-kbuild-6.1 is not installed (scripts/setup.sh)"

download() {
  (cd "$work" && apt-get download -qq \
    "linux-headers-$KVER:armhf" "linux-headers-$KABI-common" \
    "linux-image-$KVER:armhf" busybox-static:armhf 2>&1 |
    grep -v '^W: Download is performed unsandboxed' >&2 || true)
  [ "$(ls "$work"/*.deb 2>/dev/null | wc -l)" -eq 4 ]
}
log "downloading the $KVER headers, image and busybox"
if ! download; then
  # Stale package lists point at files the archive no longer has.
  apt-get -o DPkg::Lock::Timeout=900 update -qq
  rm -f "$work"/*.deb
  download || die "download failed"
fi

rm -rf "$top"
mkdir -p "$root"
for deb in "$work"/*.deb; do
  dpkg -x "$deb" "$root"
done
[ -f "$KDIR_ARM/Makefile" ] || die "unexpected headers layout"
[ -f "$KIMAGE_ARM" ] || die "unexpected image layout"
[ -x "$BUSYBOX_ARM" ] || die "unexpected busybox layout"

# The headers' Makefile includes the common tree by absolute path.
sed -i "s|^include /usr/src/|include $root/usr/src/|" "$KDIR_ARM/Makefile"

# The armmp headers point 'scripts' at ../../lib/linux-kbuild-6.1: give them a
# private copy of the host's kbuild tree, whose modpost is then rebuilt for
# ARM32 (the packaged one has the x86-64 device-table layout compiled in).
cp -a "$kbuild_sys" "$root/usr/lib/"
log "rebuilding modpost for ARM32"
tar -xJf "$src_tar" -C "$work" --wildcards \
  'linux-source-6.1/scripts/mod/*' \
  'linux-source-6.1/include/linux/license.h' \
  'linux-source-6.1/include/linux/mod_devicetable.h' \
  'linux-source-6.1/scripts/checkpatch.pl' \
  'linux-source-6.1/scripts/spelling.txt' \
  'linux-source-6.1/scripts/const_structs.checkpatch'
ksrc=$work/linux-source-6.1
mod=$ksrc/scripts/mod
cross=(ARCH=arm CROSS_COMPILE=arm-linux-gnueabihf-)

# The device-table offsets, compiled for ARM through the headers' own Kbuild.
mkdir -p "$work/offsets"
cp "$mod/devicetable-offsets.c" "$work/offsets/"
echo 'always-y := devicetable-offsets.s' >"$work/offsets/Kbuild"
make -s -C "$KDIR_ARM" M="$work/offsets" "${cross[@]}" devicetable-offsets.s >/dev/null
{
  echo '#ifndef __DEVICETABLE_OFFSETS_H__'
  echo '#define __DEVICETABLE_OFFSETS_H__'
  sed -ne 's:^[[:space:]]*\.ascii[[:space:]]*"\(.*\)".*:\1:; /^->/{s:->#\(.*\):/* \1 */:; s:^->\([^ ]*\) [\$#]*\([^ ]*\) \(.*\):#define \1 \2 /* \3 */:; s:->::; p;}' \
    "$work/offsets/devicetable-offsets.s"
  echo '#endif'
} >"$mod/devicetable-offsets.h"
grep -q 'SIZE_of_device_id 196' "$mod/devicetable-offsets.h" ||
  die "unexpected ARM device-table layout"

# The ELF class and byte order, taken from an ARM object file.
gcc -O2 -o "$work/mk_elfconfig" "$mod/mk_elfconfig.c"
echo 'int x;' >"$work/empty.c"
arm-linux-gnueabihf-gcc -c -o "$work/empty.o" "$work/empty.c"
"$work/mk_elfconfig" <"$work/empty.o" >"$mod/elfconfig.h"
gcc -O2 -o "$work/modpost" "$mod/modpost.c" "$mod/file2alias.c" "$mod/sumversion.c"
install -m 0755 "$work/modpost" "$root/usr/lib/linux-kbuild-6.1/scripts/mod/modpost"

# checkpatch.pl needs its data files beside it.
mkdir -p "$KCACHE/checkpatch"
cp "$ksrc/scripts/checkpatch.pl" "$ksrc/scripts/spelling.txt" \
  "$ksrc/scripts/const_structs.checkpatch" "$KCACHE/checkpatch/"

touch "$top/.done"
write_env
log "ready: $KDIR_ARM"
