#!/usr/bin/env bash
# Installs everything a board needs into a staging root, the way a firmware
# build lays out the board's root file system:
#
#   scripts/install.sh [--kernel 6.1|4.9 | --kdir DIR] [--against-standins]
#                      [--strip-modules] [--gateway static|dynamic]
#                      [--web-user NAME] ROOTFS
#
#   ROOTFS               the staging root (DESTDIR); ROOTFS=... or DESTDIR=...
#                        in the environment do as well
#   --kernel 6.1|4.9     the board kernels of scripts/kernel/prepare.sh
#                        (Debian's armmp, default; the 4.9.337 debug kernel)
#   --kdir DIR           another kernel build tree (CROSS_COMPILE, default
#                        arm-linux-gnueabihf-, names the toolchain)
#   --against-standins   the kernel lacks qvsys and the sensor framework:
#                        link the drivers against the stand-ins of platform/.
#                        The stand-ins themselves are not installed.
#   --strip-modules      strip debug information from the modules
#                        (INSTALL_MOD_STRIP=1)
#   --gateway static|dynamic   ptz_cgi linked statically, the C library
#                        included (default; armv7-static preset), or
#                        against the board's glibc 2.34 or later (armv7
#                        preset); GATEWAY_LINK=... in the environment does
#                        as well. The static gateway starts on any C
#                        library and is the faster; it is randomised only
#                        where the toolchain's C library links static PIEs
#                        (rcrt1.o; Debian 12's has none), else it runs at a
#                        fixed address. The dynamic one is a randomised PIE
#                        with full RELRO. The step says which it installs.
#   --web-user NAME      the web server's user (default www-data), who owns
#                        the gateway's state folder: in the staging root (its
#                        ids from ROOTFS/etc/passwd, or this machine's when
#                        the root has none yet) and
#                        by a tmpfiles.d rule at boot
#
# Steps, each the command a firmware build would run itself:
#   1. the modules, built in a private copy of the sources, into
#      lib/modules/<release>/extra, then depmod -b ROOTFS <release>;
#   2. ptz_cgi (CMake component "gateway", stripped: /usr/lib/ptz-gateway,
#      its speed memory in /var/lib/ptz-gateway, the web server's, the
#      lighttpd snippet) and
#      the device tools (component "tools", stripped: /usr/sbin);
#   3. the configuration (scripts/install-config.sh): modules-load.d,
#      modprobe.d, the udev rule, the device line of etc/mdev.conf and the
#      group ptzcam (sysusers.d, and etc/group where the root has one).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

usage() { sed -n '2,/^set -e/{/^#/s/^# \{0,1\}//p}' "$0" >&2; exit 2; }
kernel=6.1
kdir=
standins=
strip=
gateway=${GATEWAY_LINK:-static}
web_user=www-data
rootfs=${ROOTFS:-${DESTDIR:-}}
while [ $# -gt 0 ]; do
  case $1 in
    --kernel) kernel=${2:-}; shift 2 ;;
    --kdir) kdir=${2:-}; shift 2 ;;
    --against-standins) standins=1; shift ;;
    --strip-modules) strip=1; shift ;;
    --gateway) gateway=${2:-}; shift 2 ;;
    --web-user) web_user=${2:-}; shift 2 ;;
    -*) usage ;;
    *) rootfs=$1; shift ;;
  esac
done
[ -n "$rootfs" ] || usage
case $gateway in
  static) preset=armv7-static ;;
  dynamic) preset=armv7 ;;
  *) usage ;;
esac
mkdir -p "$rootfs"
rootfs=$(cd "$rootfs" && pwd)
log() { echo "install: $*"; }

# Which gateway goes in, and what it trades. Figures: the hardened builds
# started directly in the virtual camera, Linux 6.1 and 4.9 (README.md,
# "Installing on a board").
say_gateway() {
  local pie
  pie=$(sed -n 's/^PTZ_HAS_STATIC_PIE:INTERNAL=//p' "$1/CMakeCache.txt")
  if [ "$gateway" = dynamic ]; then
    log "ptz_cgi: dynamic PIE, address randomised, full RELRO; the board needs glibc 2.34" \
      "or later. Started in the virtual camera it takes 1.4 to 2.4 times a static" \
      "gateway's time; --gateway static installs that one"
  elif [ "$pie" = 1 ]; then
    log "ptz_cgi: static PIE, address randomised, full RELRO, any C library on the board"
  else
    log "ptz_cgi: static, any C library on the board, at a fixed address: this toolchain's" \
      "C library has no static-PIE start files (rcrt1.o). It is kept for speed and for" \
      "any C library: started in the virtual camera, a dynamic PIE takes 1.4 to 2.4 times" \
      "its time. --gateway dynamic installs the randomised PIE (glibc 2.34 or later)"
  fi
}

cross=${CROSS_COMPILE:-arm-linux-gnueabihf-}
if [ -z "$kdir" ]; then
  bash "$top/scripts/kernel/prepare.sh"
  # shellcheck source=/dev/null
  . "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"
  case $kernel in
    6.1) kdir=$KDIR_ARM ;;
    4.9) kdir=${KDIR_49:-} ;;
    *) usage ;;
  esac
  [ -n "$kdir" ] || { echo "install: no tree for kernel $kernel" >&2; exit 1; }
fi
# The release the kernel reports (Debian's kernel.release file holds the
# upstream version instead).
release=$(sed -n 's/^#define UTS_RELEASE "\(.*\)"$/\1/p' "$kdir/include/generated/utsrelease.h")
[ -n "$release" ] || { echo "install: $kdir names no kernel release" >&2; exit 1; }

# 1. Modules. The copy keeps the sources' times, so a second install of the
# same release rebuilds only what changed, and the checkout stays clean. A
# file removed from the sources empties the copy: drivers/Makefile builds
# every folder it finds.
tree=$top/build/install/$release
mkdir -p "$tree"
tar -C "$top" -cf "$tree.tar" --exclude='*.o' --exclude='*.ko' --exclude='.*.cmd' \
  --exclude='*.mod*' --exclude=Module.symvers --exclude=modules.order drivers platform include
tar -tf "$tree.tar" | LC_ALL=C sort >"$tree.files"
if ! cmp -s "$tree.files" "$tree/.files"; then
  rm -rf "$tree"
  mkdir -p "$tree"
fi
tar -C "$tree" -xf "$tree.tar"
mv "$tree.files" "$tree/.files"
rm -f "$tree.tar"
kmake=(make -C "$tree/drivers" KDIR="$kdir" ARCH=arm CROSS_COMPILE="$cross")
log "building the modules for $release"
if ! "${kmake[@]}" ${standins:+STANDINS=1} -j2 modules >"$tree/kbuild.log" 2>&1; then
  tail -n 30 "$tree/kbuild.log" >&2
  if [ -z "$standins" ] && grep -q 'undefined!' "$tree/kbuild.log"; then
    echo "install: the kernel lacks symbols the drivers take from the platform;" \
      "for a kernel without qvsys and the sensor framework, add --against-standins" >&2
  fi
  exit 1
fi
# Unsigned: a kernel that signs at install needs a key this build lacks.
"${kmake[@]}" INSTALL_MOD_PATH="$rootfs" ${strip:+INSTALL_MOD_STRIP=1} CONFIG_MODULE_SIG_ALL= \
  modules_install >>"$tree/kbuild.log" 2>&1 || { tail -n 30 "$tree/kbuild.log" >&2; exit 1; }
# A staging root without the kernel's own modules lacks the kernel's lists:
# depmod's notes about them say nothing about ours.
depmod -b "$rootfs" "$release" 2>"$tree/depmod.log" || { cat "$tree/depmod.log" >&2; exit 1; }
grep -v 'could not open modules\.\(order\|builtin\)' "$tree/depmod.log" >&2 || true
log "modules: $(find "$rootfs/lib/modules/$release/extra" -name '*.ko' -printf '%f ' | sort)"

# 2. User space, cross-built with the preset of the gateway's linking.
log "building ptz_cgi ($gateway) and the device tools"
cmake --preset "$preset" -DCMAKE_INSTALL_PREFIX=/usr -DPTZ_WEB_USER="$web_user" -S "$top" >/dev/null
cmake --build "$top/build/$preset" -j2 --target ptz_cgi rjgt102-reg sar-adc >/dev/null
say_gateway "$top/build/$preset"
for component in gateway tools; do
  DESTDIR=$rootfs cmake --install "$top/build/$preset" --prefix /usr --component "$component" \
    --strip >/dev/null
done
# The gateway writes its state as the web server's user, on any board.
state=$(sed -n 's/^PTZ_GATEWAY_STATE_DIR:PATH=//p' "$top/build/$preset/CMakeCache.txt")
passwd=$rootfs/etc/passwd
[ -f "$passwd" ] || passwd=/etc/passwd  # the image adds its own later
ids=$(awk -F: -v u="$web_user" '$1 == u { print $3 ":" $4 }' "$passwd")
[ -n "$ids" ] || { echo "install: no user $web_user in $passwd (--web-user)" >&2; exit 1; }
chown "$ids" "$rootfs$state" ||
  { echo "install: cannot give $rootfs$state to $web_user ($ids): run as root" >&2; exit 1; }
log "$state: owned by $web_user ($ids), and by usr/lib/tmpfiles.d/ptz-gateway.conf at boot"

# 3. Configuration.
bash "$top/scripts/install-config.sh" "$rootfs"
log "installed for $release into $rootfs ($(du -sh "$rootfs" | cut -f1))"
