#!/usr/bin/env bash
# Sets up the machine and runs every test stage in scripts/test.d in order.
# A failing stage does not stop the others; the exit status is non-zero when
# any stage failed. A stage that exits 4 could not run its checks here
# (scripts/lib/stage.sh) and counts as skipped, not passed.
#
#   usage: scripts/test.sh [STAGE...]    (e.g. scripts/test.sh 10-host)
#
# A name that is no stage ("10", a typo) fails before anything runs, and
# the usage lists the stages.
#
# Each stage runs in a mount namespace of its own with a private /tmp and
# /dev/shm: the gateway's fixed names ("/tmp/viscaport.txt", "sem_cgi") are
# then the stage's alone, and a second checkout's run on the machine can
# neither redirect nor block its requests. A checkout in /tmp is mounted
# back in its place.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

mapfile -t stages < <(cd scripts/test.d && ls -- *.sh | sed 's/\.sh$//')
usage() {
  sed -n '/^#   usage/s/^# *//p' "$0"
  echo "stages: ${stages[*]}"
}
for name in "$@"; do
  case $name in -h|--help) usage; exit 0 ;; esac
  if [[ " ${stages[*]} " != *" $name "* ]]; then
    echo "test: no stage '$name'" >&2
    usage >&2
    exit 2
  fi
done

bash scripts/setup.sh || { echo "setup failed"; exit 1; }

passed=0
failed=0
skipped=0
failed_names=()
skipped_names=()
for name in "${stages[@]}"; do
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then
    continue
  fi
  echo "=== stage $name"
  start=$(date +%s)
  rc=0
  unshare --mount --propagation private bash -c \
    'mount -t tmpfs tmpfs /tmp && mount -t tmpfs tmpfs /dev/shm &&
     { [[ $2 != /tmp/* ]] || { mkdir -p "$2" && mount -c --bind /proc/self/cwd "$2"; }; } &&
     exec bash "$1"' - "scripts/test.d/$name.sh" "$top" || rc=$?
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
