#!/usr/bin/env bash
# Installs everything a board needs into a staging root, the way a firmware
# build lays out the board's root file system:
#
#   scripts/install.sh [--kernel 6.1|4.9 | --kdir DIR] [--against-standins]
#                      [--board-symbols FILE] [--strip-modules]
#                      [--gateway static|dynamic]
#                      [--web-user NAME] [--user NAME] [--password-file FILE]
#                      [--controllers ADDRS] ROOTFS
#
#   ROOTFS               the staging root (DESTDIR); ROOTFS=... or DESTDIR=...
#                        in the environment do as well
#   --kernel 6.1|4.9     the board kernels of scripts/kernel/prepare.sh
#                        (Debian's armmp, default; the 4.9.337 debug kernel)
#   --kdir DIR           another kernel build tree (CROSS_COMPILE, default
#                        arm-linux-gnueabihf-, names the toolchain)
#   --against-standins   the kernel lacks qvsys and the sensor framework:
#                        link the drivers against the stand-ins of platform/.
#                        The stand-ins themselves are not installed: the
#                        board brings them, so their symbols count as provided.
#   --board-symbols FILE symbols the board's kernel provides beyond the tree's
#                        Module.symvers (one name a line, # comments). A module
#                        needing a symbol that neither the tree, a module in
#                        ROOTFS nor this list provides stops the install.
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
#   --user NAME          the login of the page and the gateway (default admin)
#   --password-file FILE its password, the file's first line (- reads standard
#                        input). Without it no password is installed: the
#                        board's first boot must set one (ptz-passwd
#                        --generate NAME prints it); until then every request
#                        gets 401.
#   --controllers ADDRS  controller addresses that need no login (IPv4 or
#                        IPv6, separated by spaces or commas); none by default
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
#      group ptzcam (sysusers.d, and etc/group where the root has one);
#   4. the logins: lighttpd's Digest login in front of the page and the
#      gateway (etc/lighttpd/conf-available/40-ptz-login.conf, enabled), the
#      password tool /usr/sbin/ptz-passwd, and the user's password in
#      etc/lighttpd/ptz-users.htdigest when one is given.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

usage() { sed -n '2,/^set -e/{/^#/s/^# \{0,1\}//p}' "$0" >&2; exit 2; }
kernel=6.1
kdir=
standins=
board_symbols=
strip=
gateway=${GATEWAY_LINK:-static}
web_user=www-data
rootfs=${ROOTFS:-${DESTDIR:-}}
user='admin'
password_file=
controllers=
while [ $# -gt 0 ]; do
  case $1 in
    --kernel) kernel=${2:-}; shift 2 ;;
    --kdir) kdir=${2:-}; shift 2 ;;
    --against-standins) standins=1; shift ;;
    --board-symbols) board_symbols=${2:-}; shift 2 ;;
    --strip-modules) strip=1; shift ;;
    --gateway) gateway=${2:-}; shift 2 ;;
    --web-user) web_user=${2:-}; shift 2 ;;
    --user) user=${2:-}; shift 2 ;;
    --password-file) password_file=${2:?}; shift 2 ;;
    --controllers) controllers=${2:-}; shift 2 ;;
    -*) usage ;;
    *) rootfs=$1; shift ;;
  esac
done
[ -n "$rootfs" ] || usage
[ -z "$board_symbols" ] || [ -r "$board_symbols" ] ||
  { echo "install: cannot read the symbol list $board_symbols" >&2; exit 1; }
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

# The allow-list as the regular expression lighttpd matches the client's
# address against; "^$" matches none.
controllers_regex() {
  local a list alt=''
  read -ra list <<<"${controllers//,/ }"
  for a in "${list[@]}"; do
    [[ $a =~ ^[0-9A-Fa-f.:]+$ && $a == *[.:]* ]] ||
      { echo "install: '$a' is not a controller's IPv4 or IPv6 address" >&2; return 1; }
    alt=${alt:+$alt|}${a//./\\.}
  done
  echo "^${alt:+($alt)}\$"
}
regex=$(controllers_regex) || exit 2
[[ $user =~ ^[A-Za-z0-9._-]+$ ]] || { echo "install: a user name is letters, digits, '.', '_' and '-'" >&2; exit 2; }

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
  --exclude='*.mod*' --exclude=Module.symvers --exclude=modules.order VERSION drivers platform include
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
# Unresolved symbols are judged below, against the root too, on every kernel
# alike (modpost of 4.9 only warns, that of 6.1 fails).
if ! "${kmake[@]}" ${standins:+STANDINS=1} KBUILD_MODPOST_WARN=1 -j2 modules \
    >"$tree/kbuild.log" 2>&1; then
  tail -n 30 "$tree/kbuild.log" >&2
  exit 1
fi
# Unsigned: a kernel that signs at install needs a key this build lacks.
"${kmake[@]}" INSTALL_MOD_PATH="$rootfs" ${strip:+INSTALL_MOD_STRIP=1} CONFIG_MODULE_SIG_ALL= \
  modules_install >>"$tree/kbuild.log" 2>&1 || { tail -n 30 "$tree/kbuild.log" >&2; exit 1; }
# A staging root without the kernel's own modules lacks the kernel's lists:
# depmod's notes about them say nothing about ours.
# -e -E: every symbol a module needs, against the tree's exports and the
# root's modules; a module that needs one nobody provides cannot load.
depmod -b "$rootfs" -e -E "$kdir/Module.symvers" "$release" 2>"$tree/depmod.log" ||
  { cat "$tree/depmod.log" >&2; exit 1; }
grep -v 'could not open modules\.\(order\|builtin\)\|needs unknown symbol' "$tree/depmod.log" >&2 ||
  true
# depmod takes only vmlinux's lines of Module.symvers: the tree's own
# modules (IIO on Debian's kernels) provide the others.
provided=$(
  awk '{ print $2 }' "$kdir/Module.symvers"
  [ -z "$standins" ] || grep -rhoE 'EXPORT_SYMBOL(_GPL)?\(\w+\)' "$top/platform" | sed 's/.*(\(.*\))/\1/'
  [ -z "$board_symbols" ] || sed 's/#.*//' "$board_symbols" | awk 'NF { print $1 }'
)
missing=0
while read -r ko sym; do
  grep -qxF "$sym" <<<"$provided" && continue
  service=$(grep -rlE "EXPORT_SYMBOL(_GPL)?\($sym\)" "$top/platform" | sed "s|^$top/||" || true)
  case $service in
    platform/qvsys/*) service="qvsys, the platform kernel's shared sysfs class" ;;
    platform/sensor_framework/*) service="the vendor's sensor framework" ;;
    *) service="no board service we know" ;;
  esac
  echo "install: $(basename "$ko") needs $sym ($service), which neither $kdir nor a" \
    "module in $rootfs provides" >&2
  missing=1
done < <(sed -n 's/^depmod: WARNING: \(.*\) needs unknown symbol \(.*\)$/\1 \2/p' "$tree/depmod.log")
if [ "$missing" = 1 ]; then
  echo "install: install the board's modules into the root first, list what its kernel" \
    "provides with --board-symbols FILE, or add --against-standins for a kernel" \
    "without qvsys and the sensor framework" >&2
  exit 1
fi
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

# 4. Logins. No password is built in: the one given, or the board's first
# boot makes one.
etc=$rootfs/etc/lighttpd
install -D -m 0755 "$top/dist/ptz-passwd" "$rootfs/usr/sbin/ptz-passwd"
mkdir -p "$etc/conf-available" "$etc/conf-enabled"
{
  echo "# Written by scripts/install.sh: the users file and the controllers without a login."
  echo "var.ptz_users = \"/etc/lighttpd/ptz-users.htdigest\""
  echo "var.ptz_controllers = \"$regex\""
  cat "$top/dist/lighttpd/40-ptz-login.conf"
} >"$etc/conf-available/40-ptz-login.conf"
ln -sfn ../conf-available/40-ptz-login.conf "$etc/conf-enabled/40-ptz-login.conf"
log "controllers without a login: ${controllers:-none}"
if [ -n "$password_file" ]; then
  head -n 1 -- "$password_file" | sh "$top/dist/ptz-passwd" -f "$etc/ptz-users.htdigest" "$user"
  log "login: $user, with the password of $password_file (change it on the board: ptz-passwd $user)"
else
  rm -f "$etc/ptz-users.htdigest"
  log "login: no password installed: the board's first boot must set one for $user" \
    "(ptz-passwd --generate $user prints it); until then every request gets 401"
fi
log "installed version $(cat "$top/VERSION") for $release into $rootfs ($(du -sh "$rootfs" | cut -f1))"
