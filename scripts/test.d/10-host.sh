#!/usr/bin/env bash
# Unit and process-level tests of everything built for the host.
set -euo pipefail
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
ctest --preset default -j"$(nproc)"
