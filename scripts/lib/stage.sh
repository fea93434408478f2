# shellcheck shell=bash
# Verdicts of a test stage, for scripts/test.d/*.sh. Source it, report each
# check, and end with stage_end:
#
#   . "$(dirname "$0")/../lib/stage.sh"
#   check_something && pass "it works" || fail "it does not"
#   command -v tool >/dev/null || skip "tool is not installed"
#   stage_end
#
# fail records the failure and the stage goes on; stage_end then exits 1.
# skip says a check could not run here: stage_end exits 4 (kselftest's
# "skip") unless something failed, so scripts/test.sh counts the stage as
# skipped, not passed. Messages carry the stage's name without its number.

stage_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
stage_tag=$(basename "$0" .sh)
stage_tag=${stage_tag#[0-9][0-9]-}
stage_failed=0
stage_skipped=0

pass() { echo "$stage_tag: $*"; }

fail() {
  echo "$stage_tag: FAIL: $*" >&2
  stage_failed=$((stage_failed + 1))
}

skip() {
  echo "$stage_tag: SKIP: $*"
  stage_skipped=$((stage_skipped + 1))
}

# The exit status of a skipped stage.
STAGE_SKIP=4

stage_end() {
  if [ "$stage_failed" -gt 0 ]; then
    echo "$stage_tag: $stage_failed check(s) failed" >&2
    exit 1
  fi
  [ "$stage_skipped" -eq 0 ] || exit "$STAGE_SKIP"
  exit 0
}

# stage_tmpdir: a scratch folder in $tmp, removed when the stage exits.
stage_tmpdir() {
  tmp=$(mktemp -d)
  # shellcheck disable=SC2064 # the folder is known now
  trap "rm -rf '$tmp'" EXIT
}

# copy_tree DIR: the repository's files as a user unpacks them (tracked and
# untracked but not ignored, as they are in the working tree), into DIR.
copy_tree() {
  mkdir -p "$1"
  (cd "$stage_top" && git ls-files -co --exclude-standard -z | tar --null -cf - -T -) \
    | tar -xf - -C "$1"
}

# need_kernel49: the Linux 4.9 debug kernel's paths (KVER_49, KDIR_49,
# KIMAGE_49) in the environment; without its package beside the checkout
# the stage ends here, skipped.
need_kernel49() {
  bash "$stage_top/scripts/kernel/prepare.sh"
  # shellcheck source=/dev/null
  . "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"
  if [ -z "${KIMAGE_49:-}" ]; then
    skip "no Linux 4.9 debug kernel (its package is not beside the checkout)"
    stage_end
  fi
}

# run_examples_missing FILE [WANT...]: what the output of
# `scripts/run.sh --once` in FILE lacks of the examples' answers (shown by
# sed -n l, so each line ends in $), the stop's packet in the simulator's
# log, the speed memory, and the further WANT texts; empty when nothing is
# missing.
run_examples_missing() {
  local out=$1 want missing=
  shift
  for want in 'pTS9950$' 'pTS5050$' 'zS75$' 'aPC800080000$' 'GZ555$' \
      '81 01 06 01 17 10 03 03 FF  pan-tilt stop' 'speed memory: 1710' "$@"; do
    grep -qF -- "$want" "$out" || missing="$missing '$want'"
  done
  echo "$missing"
}
