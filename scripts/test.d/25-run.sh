#!/usr/bin/env bash
# The README's run command, once through: the gateway served by lighttpd with
# the head simulator answers the example requests (shown by sed -n l, so each
# line ends in $); then, served until stopped, its control page in a browser.
set -euo pipefail
# shellcheck source=scripts/lib/stage.sh
. "$(dirname "$0")/../lib/stage.sh"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
port=$(( 20000 + RANDOM % 20000 ))
timeout 120 bash scripts/run.sh --once --port "$port" </dev/null >"$out" 2>&1 || { cat "$out"; exit 1; }
missing=$(run_examples_missing "$out" "Login (Digest): user admin, password " "curl --digest -u 'admin:")
[ -z "$missing" ] || { cat "$out"; echo "run: missing$missing" >&2; exit 1; }
echo "run command: served the examples on 127.0.0.1:$port"
port=$(( 20000 + RANDOM % 20000 ))
bash scripts/run.sh --port "$port" --timeout 300 </dev/null >"$out" 2>&1 &
for _ in $(seq 300); do grep -q '^Try:' "$out" && break; sleep 0.2; done
login=$(sed -n 's/^Login (Digest): user \(.*\), password \(.*\)$/\1:\2/p' "$out")
PTZ_LOGIN=$login timeout 180 node web/test/page_test.mjs "http://127.0.0.1:$port/" "$out" build/page/run.png ||
  { kill -TERM $!; tail -n 30 "$out"; exit 1; }
kill -TERM $! && wait $!
