#!/usr/bin/env bash
# The Linux 4.9 build gate: every module we have (drivers, platform stand-ins
# and the board's test modules, board/modules.txt) built for ARMv7 against a
# 4.9 tree with W=1, warnings as errors and sparse, and the shipping entry
# point `make -C drivers KDIR=...` run against it from a copy of the tree.
#
# The tree is the 4.9.337 debug kernel's, unpacked by prepare.sh, or
# KDIR_49=<tree> (a board kernel's own). Without either the stage is skipped
# (exit 4), never passed. Output under build/kmod49/NAME.
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
. scripts/lib/stage.sh

kdir=${KDIR_49:-}
bash scripts/kernel/prepare.sh
# shellcheck source=/dev/null
. "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"
kdir=${kdir:-$KDIR_49}
if [ -z "$kdir" ]; then
  skip "no Linux 4.9 tree (no kernel package beside the checkout, KDIR_49 unset)"
  stage_end
fi
[ -f "$kdir/Makefile" ] || { echo "kmod49: KDIR_49=$kdir is not a kernel build tree" >&2; exit 1; }
release=$(cat "$kdir/include/config/kernel.release")
case $release in
  4.9.*) ;;
  *) echo "kmod49: $kdir is Linux $release, not 4.9" >&2; exit 1 ;;
esac
echo "kmod49: building against $release ($kdir)"

# A module must carry the tree's vermagic, or that kernel refuses it.
check_vermagic() {
  local ko=$1 vermagic
  vermagic=$(modinfo -F vermagic "$ko")
  if [[ "$vermagic" != "$release SMP "* ]]; then
    echo "kmod49: $ko: vermagic '$vermagic'" >&2
    return 1
  fi
}

status=0
out=build/kmod49
export SENSOR_FRAMEWORK_INC=$top/platform/sensor_framework/include
while read -r name src deps _rest; do
  extra=()
  for dep in ${deps//,/ }; do
    [ "$dep" = - ] || extra+=(--extra-symbols "$out/$dep/Module.symvers")
  done
  if bash scripts/kernel/build-module.sh --arch arm --kdir "$kdir" --sparse "${extra[@]}" \
      "$src" "$out/$name" && check_vermagic "$out/$name/$name.ko"; then
    echo "kmod49: $name built"
  else
    status=1
  fi
done < <(sed -e 's/#.*//' board/modules.txt | grep -v '^[[:space:]]*$')

# The documented entry point, from a clean copy so the source tree and its
# stand-ins stay untouched, with the stand-ins a plain 4.9 kernel needs. Only
# the three drivers may come out of drivers/.
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp -a VERSION drivers platform include "$copy/"
log=$out/make-drivers.log
if make -C "$copy/drivers" KDIR="$kdir" ARCH=arm CROSS_COMPILE="$CROSS_COMPILE_ARM" \
    STANDINS=1 W=1 KCFLAGS=-Werror -j2 >"$log" 2>&1 &&
    ! grep -iE '(warning|error)[: ]' "$log" >&2; then
  mapfile -t kos < <(cd "$copy" && find drivers -name '*.ko' -printf '%f\n' | sort)
  if [ "${kos[*]}" = "gpio_i2c.ko mn34229drv.ko sar_adc.ko" ]; then
    echo "kmod49: make -C drivers built ${kos[*]}"
  else
    echo "kmod49: make -C drivers built '${kos[*]}', expected the three drivers" >&2
    status=1
  fi
else
  cat "$log" >&2
  echo "kmod49: make -C drivers KDIR=$kdir failed" >&2
  status=1
fi
exit $status
