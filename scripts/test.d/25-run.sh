#!/usr/bin/env bash
# The README's run command, once through: the gateway served by lighttpd with
# the head simulator answers the example requests (shown by sed -n l, so each
# line ends in $); then, served until stopped, its control page in a browser,
# and a second run beside it.
set -euo pipefail
# shellcheck source=scripts/lib/stage.sh
. "$(dirname "$0")/../lib/stage.sh"
out=$(mktemp)
trap 'rm -f "$out" "$out.2"' EXIT
port=$(( 20000 + RANDOM % 20000 ))
timeout 120 bash scripts/run.sh --once --port "$port" </dev/null >"$out" 2>&1 || { cat "$out"; exit 1; }
missing=$(run_examples_missing "$out" "Login (Digest): user admin, password " "curl --digest -u 'admin:")
[ -z "$missing" ] || { cat "$out"; echo "run: missing$missing" >&2; exit 1; }
echo "run command: served the examples on 127.0.0.1:$port"
port=$(( 20000 + RANDOM % 20000 ))
bash scripts/run.sh --port "$port" --timeout 300 </dev/null >"$out" 2>&1 &
run=$!
for _ in $(seq 300); do grep -q '^Try:' "$out" && break; sleep 0.2; done
login=$(sed -n 's/^Login (Digest): user \(.*\), password \(.*\)$/\1:\2/p' "$out")
PTZ_LOGIN=$login timeout 180 node web/test/page_test.mjs "http://127.0.0.1:$port/" "$out" build/page/run.png ||
  { kill -TERM $run; tail -n 30 "$out"; exit 1; }

# A second run beside it names the first one's simulator, and the first,
# stopped, leaves the second's port file alone; the second, killed
# outright, leaves nothing running.
bash scripts/run.sh --port $(( port + 1 )) --timeout 120 </dev/null >"$out.2" 2>&1 &
second=$!
for _ in $(seq 300); do grep -q '^Control page' "$out.2" && break; sleep 0.2; done
grep -q 'viscaport.txt names a simulator running on UDP port' "$out.2" ||
  fail "a second run does not say that the port file names a running simulator"
held=$(od -An -tx1 /tmp/viscaport.txt)
kill -TERM $run && wait $run
[ "$(od -An -tx1 /tmp/viscaport.txt 2>&1)" = "$held" ] || fail "the first run took the second one's port file"
kids=$(pgrep -d, -P $second || true)
kill -KILL $second
for _ in $(seq 50); do ps -p "$kids" >/dev/null || break; sleep 0.1; done
if [ -z "$kids" ] || ps -p "$kids" >/dev/null; then
  fail "run.sh killed left running: $(ps -o pid=,args= -p "${kids:-0}" | xargs)"
fi
[ "$stage_failed" -gt 0 ] ||
  pass "beside a second run: named, its port file left alone; killed, run.sh leaves nothing running"
stage_end
