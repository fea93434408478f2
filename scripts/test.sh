#!/usr/bin/env bash
# Sets up the machine and runs every test stage in scripts/test.d in order.
# A failing stage does not stop the others; the exit status is non-zero when
# any stage failed. Run a single stage with: scripts/test.sh NAME (e.g. 10-host).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup.sh || { echo "setup failed"; exit 1; }

passed=0
failed=0
failed_names=()
for stage in scripts/test.d/*.sh; do
  name=$(basename "$stage" .sh)
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then
    continue
  fi
  echo "=== stage $name"
  start=$(date +%s)
  if bash "$stage"; then
    passed=$((passed + 1))
    echo "=== stage $name passed ($(( $(date +%s) - start )) s)"
  else
    failed=$((failed + 1))
    failed_names+=("$name")
    echo "=== stage $name FAILED ($(( $(date +%s) - start )) s)"
  fi
done

[ "$failed" -eq 0 ] || echo "failed stages: ${failed_names[*]}"
echo "stages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
