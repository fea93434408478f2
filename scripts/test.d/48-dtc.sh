#!/usr/bin/env bash
# The device-tree binding's examples and the example board tree compile with
# dtc and match the binding.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/stage.sh

if bash docs/devicetree/check-binding.sh docs/devicetree/bindings/qrvn,tessel-sar.yaml \
    docs/devicetree/tessel-sar-example.dts; then
  pass "device-tree binding and example tree checked"
else
  fail "device-tree binding check"
fi
stage_end
