#!/usr/bin/env bash
# Requests per second and median latency of ptz_cgi served by lighttpd,
# against C baselines served the same way (wrk on 127.0.0.1, concurrency 1
# and 16). The programs are measured in turn, round after round, and each
# ratio is the median of the per-round ratios, because loopback figures
# drift by about 10 % between runs.
#   bash bench/serve.sh [ROUNDS] [SECONDS_PER_RUN] [CPU_RUNS]   (default 5, 2 s, 300)
#
#   ptz_cgi APC      vs trivial_cgi      (fixed reply, no camera traffic)
#   ptz_cgi PTS9950  vs floor_cgi        (semaphore, speed file, one VISCA
#                                         exchange, fixed reply)
#   floor_flock_cgi  vs floor_cgi        (what the gateway's extra flock costs)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

# /tmp/viscaport.txt and "sem_cgi" are global: a test
# run elsewhere on the machine would redirect or block our requests. As
# root, run in a mount namespace of our own with a private /tmp (on the same
# file system, so the speed memory costs what it costs) and /dev/shm.
if [ -z "${PTZ_BENCH_PRIVATE:-}" ] && [ "$(id -u)" -eq 0 ] &&
   unshare --mount --propagation private true 2>/dev/null; then
  private=$(mktemp -d /var/tmp/ptz_bench_tmp.XXXXXX)
  rc=0
  PTZ_BENCH_PRIVATE=1 unshare --mount --propagation private bash -c \
    'mount --bind "$1" /tmp && mount -t tmpfs tmpfs /dev/shm && shift && exec bash "$@"' \
    - "$private" "$0" "$@" || rc=$?
  rm -rf "$private"
  exit "$rc"
fi

rounds=${1:-5}
seconds=${2:-2}
cpu_runs=${3:-300}

cmake --preset default >/dev/null
cmake --build --preset default -j2 --target ptz_cgi visca_sim startup_bench bench_trivial_cgi \
  bench_floor_cgi bench_floor_flock_cgi >/dev/null
bin=build/default
SERVE_SIM=$top/$bin/tools/visca_sim
. tools/serve/serve.sh

work=$(mktemp -d /tmp/ptz_bench.XXXXXX)
trap 'serve_stop; rm -rf "$work"' EXIT
serve_prepare "$work" "$bin/cgi/ptz_cgi" "$bin/bench/bench_trivial_cgi" \
  "$bin/bench/bench_floor_cgi" "$bin/bench/bench_floor_flock_cgi"
serve_start_sim "$work" /tmp/viscaport.txt --quiet
port=$(( 20000 + RANDOM % 20000 ))
# The programs against each other, without the camera's login.
export PTZ_SERVE_LOGIN=/dev/null
serve_start_lighttpd "$work" "$port"
base=http://127.0.0.1:$port/cgi-bin

declare -A url=(
  [ptz_apc]="$base/ptz_cgi?cmd=%23APC&res=1"
  [trivial]="$base/bench_trivial_cgi?cmd=%23APC&res=1"
  [ptz_pts]="$base/ptz_cgi?cmd=%23PTS9950&res=1"
  [floor]="$base/bench_floor_cgi?cmd=%23PTS9950&res=1"
  [floor_flock]="$base/bench_floor_flock_cgi?cmd=%23PTS9950&res=1"
)
programs=(ptz_apc trivial ptz_pts floor floor_flock)

# Checks that every program answers what the gateway answers.
for p in "${programs[@]}"; do
  curl -sS --max-time 5 "${url[$p]}" >"$work/$p.body"
done
cmp "$work/ptz_apc.body" "$work/trivial.body"
cmp "$work/ptz_pts.body" "$work/floor.body"
cmp "$work/ptz_pts.body" "$work/floor_flock.body"

# One wrk run: prints "RPS MEDIAN_MS".
measure() {
  local conns=$1 target=$2 threads=1
  [ "$conns" -gt 1 ] && threads=2
  wrk -t"$threads" -c"$conns" -d"${seconds}s" --latency "$target" | awk '
    /^ +50%/ { v = $2; u = v; sub(/[a-z]+$/, "", v); sub(/^[0-9.]+/, "", u)
               ms = (u == "us") ? v / 1000 : (u == "s") ? v * 1000 : v }
    /^Requests\/sec:/ { rps = $2 }
    /Non-2xx|Socket errors/ { bad = 1 }
    END { if (bad || rps == "") exit 1; printf "%s %.3f\n", rps, ms }'
}

results=$work/results   # round conns program rps median_ms
: >"$results"
echo "rounds: $rounds x ${seconds} s per program and concurrency"
for r in $(seq "$rounds"); do
  order=("${programs[@]}")
  # Every other round runs the programs in reverse, so that drift within a
  # round does not favour one side of a pair.
  if [ $((r % 2)) -eq 0 ]; then
    order=(); for ((i = ${#programs[@]} - 1; i >= 0; i--)); do order+=("${programs[$i]}"); done
  fi
  for c in 1 16; do
    for p in "${order[@]}"; do
      m=$(measure "$c" "${url[$p]}") ||
        { echo "bench: $p failed or got errors at concurrency $c" >&2; exit 1; }
      echo "$r $c $p $m" >>"$results"
    done
  done
  echo "round $r done"
done

echo
printf '%-12s %5s %10s %11s\n' program conc 'req/s' 'median ms'
awk '{ k = $3 " " $2; rps[k] = rps[k] " " $4; lat[k] = lat[k] " " $5 }
  function median(list,   a, n, i, j, t) {
    n = split(list, a, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  END { for (k in rps) { split(k, f, " "); printf "%-12s %5s %10.0f %11.3f\n", f[1], f[2], median(rps[k]), median(lat[k]) } }' \
  "$results" | sort -k1,1 -k2,2n

echo
echo "median of per-round ratios (program / baseline; above 1 means slower)"
printf '%-26s %5s %12s %14s\n' pair conc 'latency' 'rate (inv.)'
awk -v pairs="ptz_apc:trivial ptz_pts:floor floor_flock:floor" '
  { rps[$1, $2, $3] = $4; lat[$1, $2, $3] = $5; rounds[$1] = 1; conns[$2] = 1 }
  function median(list,   a, n, i, j, t) {
    n = split(list, a, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  END {
    np = split(pairs, pl, " ")
    for (i = 1; i <= np; i++) {
      split(pl[i], ab, ":")
      for (c = 1; c <= 16; c += 15) {
        l = ""; q = ""
        for (r in rounds) {
          l = l " " lat[r, c, ab[1]] / lat[r, c, ab[2]]
          q = q " " rps[r, c, ab[2]] / rps[r, c, ab[1]]
        }
        printf "%-26s %5d %12.3f %14.3f\n", ab[1] " / " ab[2], c, median(l), median(q)
      }
    }
  }' "$results"

# The same pairs started directly, without lighttpd: the children's CPU time
# (user + system) is accounted exactly and is not inflated by waiting for a
# busy CPU, so it stays meaningful on a loaded machine.
echo
echo "started directly in the served directory, $cpu_runs runs each, alternating"
cd "$work/gateway"
g=$work/gateway
"$top/$bin/bench/startup_bench" "$g/ptz_cgi" "$g/bench_trivial_cgi" "$cpu_runs" 'cmd=%23APC&res=1' | tail -3
"$top/$bin/bench/startup_bench" "$g/ptz_cgi" "$g/bench_floor_cgi" "$cpu_runs" 'cmd=%23PTS9950&res=1' | tail -3
"$top/$bin/bench/startup_bench" "$g/bench_floor_flock_cgi" "$g/bench_floor_cgi" "$cpu_runs" 'cmd=%23PTS9950&res=1' | tail -3
