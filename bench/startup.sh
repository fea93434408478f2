#!/usr/bin/env bash
# Builds the optimised host build and compares the start-to-exit time of
# ptz_cgi serving "APC" with a trivial C program linked the same way.
#   bash bench/startup.sh [RUNS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target ptz_cgi startup_trivial startup_bench >/dev/null
bin=build/default
ldd "$bin/cgi/ptz_cgi"
# The request is served from a directory holding cgi-bin/, as a web server does.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/cgi-bin"
cd "$work"
"$top/$bin/bench/startup_bench" "$top/$bin/cgi/ptz_cgi" "$top/$bin/bench/startup_trivial" "${1:-2000}"
if command -v hyperfine >/dev/null; then
  export REQUEST_METHOD=GET QUERY_STRING='cmd=%23APC&res=1'
  hyperfine -N --warmup 100 --runs 1000 --style basic \
    "$top/$bin/cgi/ptz_cgi" "$top/$bin/bench/startup_trivial"
fi
