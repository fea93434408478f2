#!/usr/bin/env bash
# The README's run command, once through: the gateway served by lighttpd with
# the head simulator answers the example requests (shown by sed -n l, so each
# line ends in $).
set -euo pipefail
# shellcheck source=scripts/lib/stage.sh
. "$(dirname "$0")/../lib/stage.sh"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
port=$(( 20000 + RANDOM % 20000 ))
timeout 120 bash scripts/run.sh --once --port "$port" </dev/null >"$out" 2>&1 || { cat "$out"; exit 1; }
missing=$(run_examples_missing "$out")
[ -z "$missing" ] || { cat "$out"; echo "run: missing$missing" >&2; exit 1; }
echo "run command: served the examples on 127.0.0.1:$port"
