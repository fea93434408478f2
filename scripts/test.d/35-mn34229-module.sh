#!/usr/bin/env bash
# The MN34229 driver as built for the board and the host (by 30-kmod):
# its licence, description and parameters as modinfo shows them, its build
# tag, and proof that a "Proprietary" module binds only plain exports.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/stage.sh

bash scripts/kernel/prepare.sh
# shellcheck source=/dev/null
. "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"

for arch in arm host; do
  fw=build/kmod/$arch/sensor_framework
  drv=build/kmod/$arch/sensor_mn34229
  if [ ! -f "$drv/mn34229drv.ko" ]; then  # this stage run on its own
    bash scripts/kernel/build-module.sh --arch "$arch" platform/sensor_framework "$fw"
    bash scripts/kernel/build-module.sh --arch "$arch" --extra-symbols "$fw/Module.symvers" \
      drivers/sensor_mn34229 "$drv"
  fi
  if [ "$arch" = arm ]; then kdir=$KDIR_ARM; else kdir=$KDIR_HOST; fi

  bash scripts/kernel/check-plain-exports.sh "$drv/mn34229drv.ko" \
    "$kdir/Module.symvers" "$fw/Module.symvers" || fail "$arch driver binds non-plain exports"
  # The check must be able to fail: the framework stand-in uses GPL-only debugfs.
  if bash scripts/kernel/check-plain-exports.sh "$fw/sensor_framework.ko" \
      "$kdir/Module.symvers" >/dev/null; then
    fail "export check accepted a module using GPL-only symbols"
  fi
done

ko=build/kmod/arm/sensor_mn34229/mn34229drv.ko
[ "$(modinfo -F license "$ko")" = Proprietary ] || fail "licence is not Proprietary"
[ "$(modinfo -F description "$ko")" = Sensor_MN34229_MIPI ] || fail "wrong description"
expected_parms='sensor_module_version: (charp)
mclk:Assign MCLK (charp)
chmap:VIF channel mapping (int)
i2c_slave_id:sensor i2c slave id (int)
hdr_lane_num:sensor output lane number (int)
lane_num:sensor output lane number (int)'
actual_parms=$(modinfo -F parm "$ko")
[ "$actual_parms" = "$expected_parms" ] || fail "parameters differ: $actual_parms"
[ "$(modinfo -F depends "$ko")" = sensor_framework ] || fail "does not depend on the framework"

# Default of sensor_module_version: marker, build id, tags, build time, marker reversed.
grep -aqE 'QVS[0-9a-z]+\[sensor_module\]\[ build\.[0-9]{12}\]SVQ' "$ko" ||
  fail "build tag missing from $ko"

[ "$stage_failed" -eq 0 ] && pass "licence, description, parameters, build tag and exports checked (arm, host)"
stage_end
