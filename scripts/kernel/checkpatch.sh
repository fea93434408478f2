#!/usr/bin/env bash
# Runs checkpatch.pl --strict on whole source files.
#
#   checkpatch.sh FILE...
#
# A file may have a '.checkpatch-ignore' beside it: one checkpatch message
# type per line, each followed by a '#' comment saying which imposed name,
# message or number makes it necessary. Those types are ignored for every
# file of that folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -gt 0 ] || { echo "usage: $0 FILE..." >&2; exit 2; }

# The cache as the caller prepared it (each stage does, first): asking apt
# again for every module costs seconds each. A first run prepares it.
env_sh=${KCACHE:-/var/cache/ptzcam-kernel}/env.sh
[ -f "$env_sh" ] || bash "$here/prepare.sh"
# shellcheck source=/dev/null
. "$env_sh"

# checkpatch leaves a CamelCase cache in the current directory when that is a
# git tree; run it from the cache instead.
status=0
for file in "$@"; do
  [ -f "$file" ] || { echo "checkpatch: no such file: $file" >&2; status=1; continue; }
  file=$(realpath "$file")
  ignore=$(dirname "$file")/.checkpatch-ignore
  types=
  if [ -f "$ignore" ]; then
    types=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$ignore" | grep -v '^$' | paste -sd, -)
  fi
  args=(--no-tree --strict --quiet --show-types --color=never -f)
  [ -z "$types" ] || args+=(--ignore "$types")
  if ! (cd "$KCACHE" && perl "$CHECKPATCH" "${args[@]}" "$file"); then
    echo "checkpatch: $file is not clean" >&2
    status=1
  fi
done
exit $status
