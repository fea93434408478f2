#!/usr/bin/env bash
# Builds the virtual board for one kernel into build/board/KERNEL (or
# $BOARD_OUT): the device tree, the kernel modules of board/modules.txt for
# that kernel, the guest test program, the device tools, the virtual
# camera's programs and the initramfs. board/run.sh calls
# it; it can also run on its own.
#
#   board/build.sh [--kernel 6.1|4.9]    (default 6.1: Debian's armmp kernel;
#                                          4.9: the 4.9.337 debug kernel)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)

kernel=6.1
while [ $# -gt 0 ]; do
  case $1 in
    --kernel) kernel=${2:-}; shift 2 ;;
    *) echo "usage: $0 [--kernel 6.1|4.9]" >&2; exit 2 ;;
  esac
done

bash "$top/scripts/kernel/prepare.sh"
# shellcheck source=/dev/null
. "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"
# shellcheck source=board/kernels.sh
. "$here/kernels.sh"
board_kernel "$kernel" || exit 1
# What does not depend on the kernel (device tree, guest program, tools) is
# built once, in the board's folder; modules and initramfs per kernel.
common=${BOARD_OUT:-$top/build/board}
out=$common/$kernel
mkdir -p "$out/kmod"

# up_to_date TARGET INPUT...: TARGET exists and no input file is newer.
up_to_date() {
  local target=$1
  shift
  [ -e "$target" ] && [ -z "$(find "$@" -newer "$target" -print -quit)" ]
}
bash "$here/mkdtb.sh" "$common/board.dtb"

# The sensor driver's Kbuild finds the framework headers through this when it
# is built from a copy outside the tree.
export SENSOR_FRAMEWORK_INC=$top/platform/sensor_framework/include

# Modules: a missing source folder is reported here and fails its load check
# in the guest; a module that does not build fails the build.
grep -v '^#' "$here/modules.txt" | while read -r name src deps _when _params; do
  [ -n "$name" ] || continue
  if [ ! -f "$top/$src/Kbuild" ]; then
    echo "board: $src is missing: $name is not built" >&2
    rm -rf "${out:?}/kmod/$name"
    continue
  fi
  extra=()
  inputs=("$top/$src" "$top/include/uapi" "$BOARD_KDIR/Module.symvers")
  for dep in ${deps//,/ }; do
    [ "$dep" = - ] && continue
    extra+=(--extra-symbols "$out/kmod/$dep/Module.symvers")
    inputs+=("$out/kmod/$dep/Module.symvers")
  done
  if up_to_date "$out/kmod/$name/$name.ko" "${inputs[@]}"; then
    continue
  fi
  # The kmod test stages build the modules from the same sources in the same
  # way: take their module when it is current.
  kmod_stage=$top/$BOARD_KMOD_STAGE/$name
  [ "$kernel" != 6.1 ] || kmod_stage=$top/build/kmod/arm/$(basename "$src")
  if up_to_date "$kmod_stage/$name.ko" "${inputs[@]}"; then
    rm -rf "${out:?}/kmod/$name"
    cp -a "$kmod_stage" "$out/kmod/$name"
    continue
  fi
  echo "board: building $name for $kernel"
  bash "$top/scripts/kernel/build-module.sh" --arch arm --kdir "$BOARD_KDIR" "${extra[@]}" \
    "$top/$src" "$out/kmod/$name" >/dev/null
done

# Modules of the kernel's own package, loaded before ours.
rm -rf "${out:?}/kernel-kos"
mkdir -p "$out/kernel-kos"
for ko in $BOARD_KERNEL_KOS; do
  cp "$ko" "$out/kernel-kos/"
done

if ! up_to_date "$common/board_check" "$here/guest" "$top/include/uapi"; then
  echo "board: building the guest test program"
  arm-linux-gnueabihf-g++ -std=c++17 -O2 -Wall -Wextra -Werror -Wno-psabi -static \
    -I"$top/include/uapi" -o "$common/board_check" "$here"/guest/*.cpp
fi

# The device tools, cross-built static as the tools' own build does for a
# board, from their sources without the tests, at the project's one version.
version=$(head -n 1 "$top/VERSION")
tools_common=$top/tools/common
for tool in regtool:rjgt102-reg adctool:sar-adc; do
  dir=$top/tools/${tool%%:*}
  bin=$common/${tool#*:}
  if ! up_to_date "$bin" "$dir" "$tools_common" "$top/include/uapi" "$top/VERSION"; then
    echo "board: building ${tool#*:}"
    arm-linux-gnueabihf-g++ -std=c++17 -O2 -Wall -Wextra -Werror -Wno-psabi -static \
      -DDEVTOOLS_VERSION="\"$version\"" \
      -I"$top/include/uapi" -I"$tools_common" -I"$dir" -o "$bin" \
      "$tools_common/cli.cpp" "$tools_common/program.cpp" "$tools_common/device.cpp" "$dir"/*.cpp
  fi
done

# The virtual camera's own programs (board/camera): the VISCA head simulator
# as its VISCA server and the test hook.
if ! up_to_date "$common/visca_sim" "$top/tools/visca_sim"; then
  echo "board: building visca_sim"
  sources=()
  for src in "$top"/tools/visca_sim/*.cpp; do
    [[ $src == *_test.cpp ]] || sources+=("$src")
  done
  arm-linux-gnueabihf-g++ -std=c++17 -O2 -Wall -Wextra -Werror -Wno-psabi -static -s \
    -o "$common/visca_sim" "${sources[@]}"
fi
if ! up_to_date "$common/camera_ctl" "$here/camera/camera_ctl.cpp"; then
  echo "board: building camera_ctl"
  arm-linux-gnueabihf-g++ -std=c++17 -O2 -Wall -Wextra -Werror -Wno-psabi -static -s \
    -o "$common/camera_ctl" "$here/camera/camera_ctl.cpp"
fi

bash "$here/mkinitramfs.sh" "$out" "$common"
