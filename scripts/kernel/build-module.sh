#!/usr/bin/env bash
# Builds one out-of-tree module with warnings as errors.
#
#   build-module.sh [--arch arm|host] [--kdir DIR] [--sparse] [--extra-symbols FILE]... SRC_DIR OUT_DIR
#
# --kdir builds against another tree of the same architecture (the 4.9
# tree, a board's own kernel) instead of the cache's armmp or host headers.
#
# The source is copied to OUT_DIR first, so ARMv7 and host builds never share
# objects and the source tree stays clean. The .ko and Module.symvers are left
# in OUT_DIR. With --sparse, any sparse warning fails the build.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)

usage() {
  echo "usage: $0 [--arch arm|host] [--kdir DIR] [--sparse] [--extra-symbols FILE]... SRC_DIR OUT_DIR" >&2
  exit 2
}

arch=arm
kdir=
sparse=0
extra=()
while [ $# -gt 0 ]; do
  case $1 in
    --arch) arch=${2:-}; shift 2 ;;
    --kdir) kdir=${2:-}; shift 2 ;;
    --sparse) sparse=1; shift ;;
    --extra-symbols) extra+=("$(realpath "${2:?}")"); shift 2 ;;
    -h|--help) usage ;;
    --*) usage ;;
    *) break ;;
  esac
done
[ $# -eq 2 ] || usage
src=$(realpath "$1")
out=$2
[ -f "$src/Kbuild" ] || { echo "build-module: no Kbuild in $src" >&2; exit 2; }

# The cache as the caller prepared it (each stage does, first): asking apt
# again for every module costs seconds each. A first run prepares it.
env_sh=${KCACHE:-/var/cache/ptzcam-kernel}/env.sh
[ -f "$env_sh" ] || bash "$here/prepare.sh"
# shellcheck source=/dev/null
. "$env_sh"

case $arch in
  arm) kdir=${kdir:-$KDIR_ARM}; cross=(ARCH=arm CROSS_COMPILE="$CROSS_COMPILE_ARM") ;;
  host) kdir=${kdir:-$KDIR_HOST}; cross=() ;;
  *) usage ;;
esac

# A fresh copy each time: stale objects from an earlier build cannot hide a
# warning. The copy no longer sits beside the tree's include/uapi, so its
# place is passed in UAPI_INCLUDE (Kbuild files default it to
# $(src)/../../include/uapi).
rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")
cp -a "$src/." "$out/"

args=(-C "$kdir" M="$out" "${cross[@]}" W=1 KCFLAGS=-Werror
  UAPI_INCLUDE="$top/include/uapi" -j2)
[ ${#extra[@]} -eq 0 ] || args+=(KBUILD_EXTRA_SYMBOLS="${extra[*]}")
[ "$sparse" -eq 0 ] || args+=(C=2)

log=$out/build.log
if ! make "${args[@]}" modules >"$log" 2>&1; then
  cat "$log" >&2
  echo "build-module: $(basename "$src") ($arch) failed" >&2
  exit 1
fi
if grep -E '(warning|error):' "$log" >&2; then
  echo "build-module: $(basename "$src") ($arch) has warnings" >&2
  exit 1
fi
ls "$out"/*.ko >/dev/null
