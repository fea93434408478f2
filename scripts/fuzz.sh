#!/usr/bin/env bash
# Builds the fuzzers (fuzz preset: clang, libFuzzer, ASan+UBSan) and runs
# each for as long as asked:
#   scripts/fuzz.sh [SECONDS | -runs=N] [NAME...]
# SECONDS (default 60) per fuzzer, or N executions each; NAMEs pick fuzzers
# (cgi_request gpio_i2c_ioctl sar_adc; default all). Each run starts from the
# checked-in seeds in fuzz/corpus/NAME plus what earlier runs found
# (build/fuzz/corpus/NAME); crash inputs land in build/fuzz/artifacts/.
# FUZZ_JOBS=2 runs two fuzzers at a time. Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=-max_total_time=60
if [ $# -gt 0 ]; then
  case $1 in
    -runs=*) limit=$1 ;;
    *[!0-9]*) ;;
    *) limit=-max_total_time=$1 ;;
  esac
  [[ $1 == -runs=* || $1 != *[!0-9]* ]] && shift
fi
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(cgi_request gpio_i2c_ioctl sar_adc)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target fuzzers

out=build/fuzz
mkdir -p "$out/artifacts" "$out/logs"
# A small quarantine and no malloc fill: the bench's records and models
# allocate per input, and these keep the kernel fuzzers fast.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:quarantine_size_mb=16:max_malloc_fill_size=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run_one() {
  local name=$1 leaks=1
  # The kernel fuzzers check the driver's allocations themselves (the bench
  # counts them); the bench's own records grow on purpose.
  [ "$name" = cgi_request ] || leaks=0
  mkdir -p "$out/corpus/$name"
  # stderr of the program under test is closed (-close_fd_mask=2): the CGI
  # reports every simulated failure there; libFuzzer's own and sanitizer
  # reports still come through.
  if "$out/fuzz/${name}_fuzzer" "$limit" -max_len=512 -timeout=10 -close_fd_mask=2 \
      -detect_leaks=$leaks -print_final_stats=1 -artifact_prefix="$out/artifacts/$name-" \
      "$out/corpus/$name" "fuzz/corpus/$name" >"$out/logs/$name.log" 2>&1; then
    echo "fuzz: $name: $(grep -o 'stat::number_of_executed_units: [0-9]*' "$out/logs/$name.log" \
      | awk '{print $2}') executions, no findings"
  else
    echo "fuzz: $name FAILED; log $out/logs/$name.log:" >&2
    grep -E 'ERROR|invariant|runtime error|SUMMARY|Test unit written' "$out/logs/$name.log" >&2 || true
    return 1
  fi
}

status=0
running=0
for name in "${names[@]}"; do
  run_one "$name" &
  running=$((running + 1))
  if [ "$running" -ge "${FUZZ_JOBS:-1}" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit $status
