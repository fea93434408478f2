#!/usr/bin/env bash
# Sets up the machine and runs every test stage in scripts/test.d in order.
# A failing stage does not stop the others; the exit status is non-zero when
# any stage failed. A stage that exits 4 could not run its checks here
# (scripts/lib/stage.sh) and counts as skipped, not passed. Run a single stage
# with: scripts/test.sh NAME (e.g. 10-host).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup.sh || { echo "setup failed"; exit 1; }

passed=0
failed=0
skipped=0
failed_names=()
skipped_names=()
for stage in scripts/test.d/*.sh; do
  name=$(basename "$stage" .sh)
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then
    continue
  fi
  echo "=== stage $name"
  start=$(date +%s)
  rc=0
  bash "$stage" || rc=$?
  took="$(( $(date +%s) - start )) s"
  case $rc in
    0)
      passed=$((passed + 1))
      echo "=== stage $name passed ($took)" ;;
    4)
      skipped=$((skipped + 1))
      skipped_names+=("$name")
      echo "=== stage $name skipped ($took)" ;;
    *)
      failed=$((failed + 1))
      failed_names+=("$name")
      echo "=== stage $name FAILED ($took)" ;;
  esac
done

[ "$skipped" -eq 0 ] || echo "skipped stages: ${skipped_names[*]}"
[ "$failed" -eq 0 ] || echo "failed stages: ${failed_names[*]}"
echo "stages: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
