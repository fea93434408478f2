#!/usr/bin/env bash
# The Linux 4.9 build gate: every module we have (drivers, platform stand-ins
# and the board's test modules, board/modules.txt) built for ARMv7 against a
# 4.9 tree with W=1, warnings as errors and sparse. The board stages take
# these modules; the shipping entry point `make -C drivers KDIR=...` runs
# against the same tree in the install of the 4.9 camera (66-camera49), and
# its rules are checked on 6.1 by 47-modules-install.
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

exit $status
