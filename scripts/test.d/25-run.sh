#!/usr/bin/env bash
# The README's run command, once through: the gateway served by lighttpd with
# the head simulator answers the example requests (shown by sed -n l, so each
# line ends in $).
set -euo pipefail
out=$(mktemp)
trap 'rm -f "$out"' EXIT
port=$(( 20000 + RANDOM % 20000 ))
timeout 120 bash scripts/run.sh --once --port "$port" </dev/null >"$out" 2>&1 || { cat "$out"; exit 1; }
for want in 'pTS9950$' 'pTS5050$' 'zS75$' 'aPC800080000$' 'GZ555$' \
  '81 01 06 01 17 10 03 03 FF  pan-tilt stop' 'speed memory: 1710'; do
  grep -qF -- "$want" "$out" || { cat "$out"; echo "run: missing '$want'" >&2; exit 1; }
done
echo "run command: served the examples on 127.0.0.1:$port"
