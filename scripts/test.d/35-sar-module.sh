#!/usr/bin/env bash
# Checks what the ARMv7 sar_adc module declares to the kernel and to other
# modules: licence, description, device-table aliases, and qv_sar_hw_init /
# qv_sar_get as ordinary (not GPL-only) exports. Builds the module first when
# the kmod stage has not.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/stage.sh

out=build/kmod/arm
if [ ! -f "$out/sar/sar_adc.ko" ]; then
  bash scripts/kernel/build-module.sh --arch arm platform/qvsys "$out/qvsys"
  bash scripts/kernel/build-module.sh --arch arm --extra-symbols "$out/qvsys/Module.symvers" \
    drivers/sar "$out/sar"
fi
ko=$out/sar/sar_adc.ko

export PATH=$PATH:/sbin:/usr/sbin
field() { modinfo -F "$1" "$ko"; }
[ "$(field license)" = "GPL" ] || fail "licence is '$(field license)'"
[ "$(field description)" = "tessel Sar Device Driver" ] || fail "description is '$(field description)'"
# The armmp kernel has IIO as a module, which the converter's IIO device uses.
[ "$(field depends)" = "qvsys,industrialio" ] || fail "depends is '$(field depends)'"
aliases=$(field alias | sort)
expected=$(printf '%s\n' 'of:N*T*Cqrvn,tessel-sar' 'of:N*T*Cqrvn,tessel-sarC*' 'platform:tessel-sar' | sort)
[ "$aliases" = "$expected" ] || fail "aliases are: $(echo "$aliases" | paste -sd' ')"

for sym in qv_sar_hw_init qv_sar_get; do
  grep -Eq "^0x[0-9a-f]+[[:space:]]+$sym[[:space:]].*[[:space:]]EXPORT_SYMBOL[[:space:]]*$" \
    "$out/sar/Module.symvers" || fail "$sym is not an ordinary export in Module.symvers"
  arm-linux-gnueabihf-nm "$ko" | grep -q " __ksymtab_$sym\$" || fail "$sym has no __ksymtab entry"
done
# The register helpers stay inside the module.
if grep -q HAL_SAR "$out/sar/Module.symvers"; then fail "register helpers are exported"; fi

[ "$stage_failed" -eq 0 ] && pass "licence, description, aliases and exports as expected"
stage_end
