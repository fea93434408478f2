#!/usr/bin/env bash
# A short run of every fuzzer (FUZZ_SECONDS each, default 20; two at a time)
# from the checked-in seeds plus what earlier runs found. Long runs:
# scripts/fuzz.sh SECONDS or scripts/fuzz.sh -runs=N (see fuzz/README.md).
set -euo pipefail
cd "$(dirname "$0")/../.."
FUZZ_JOBS=${FUZZ_JOBS:-2} exec bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
