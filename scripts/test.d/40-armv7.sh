#!/usr/bin/env bash
# ptz_cgi, the head simulator and the unit tests cross-built for ARMv7; the
# tests run under qemu-arm-static. Reports the stripped size of ptz_cgi.
set -euo pipefail
cmake --preset armv7 >/dev/null
cmake --build --preset armv7 -j2
ctest --preset armv7 -j2
stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
arm-linux-gnueabihf-strip -o "$stripped" build/armv7/cgi/ptz_cgi
size=$(stat -c %s "$stripped")
echo "ARMv7 ptz_cgi stripped: $size bytes ($(arm-linux-gnueabihf-readelf -d "$stripped" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' '))"
# The C library is linked dynamically; the C++ runtime must stay out of it.
[ "$size" -le 32768 ] || { echo "FAIL: over 32 KiB" >&2; exit 1; }
