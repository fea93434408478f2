#!/usr/bin/env bash
# ptz_cgi, the head simulator and the unit tests cross-built for ARMv7; the
# tests run under qemu-arm-static. Reports the stripped size of ptz_cgi and
# the newest C library symbol version it asks for; then the static ptz_cgi
# (armv7-static preset) must answer under the emulator without any ARM C
# library to load.
set -euo pipefail
cmake --preset armv7 >/dev/null
cmake --build --preset armv7 -j2
ctest --preset armv7 -j2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
arm-linux-gnueabihf-strip -o "$tmp/dynamic" build/armv7/cgi/ptz_cgi
size=$(stat -c %s "$tmp/dynamic")
glibc=$(arm-linux-gnueabihf-objdump -T "$tmp/dynamic" | grep -o 'GLIBC_[0-9.]*' | sort -Vu | tail -n1)
echo "ARMv7 ptz_cgi stripped: $size bytes ($(arm-linux-gnueabihf-readelf -d "$tmp/dynamic" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' '), newest symbol version $glibc)"
# The C library is linked dynamically; the C++ runtime must stay out of it.
[ "$size" -le 32768 ] || { echo "FAIL: over 32 KiB" >&2; exit 1; }

cmake --preset armv7-static >/dev/null
cmake --build --preset armv7-static -j2 --target ptz_cgi
arm-linux-gnueabihf-strip -o "$tmp/static" build/armv7-static/cgi/ptz_cgi
size=$(stat -c %s "$tmp/static")
info=$(file -b "$tmp/static")
[[ $info == *"statically linked"* ]] || { echo "FAIL: static ptz_cgi: $info" >&2; exit 1; }
# No -L: the emulator has no ARM C library to offer.
answer=$(cd "$tmp" && REQUEST_METHOD=GET QUERY_STRING='cmd=%23APC&res=1' qemu-arm-static ./static | tail -n1)
[ "$answer" = aPC800080000 ] || { echo "FAIL: static ptz_cgi answered '$answer'" >&2; exit 1; }
echo "ARMv7 static ptz_cgi stripped: $size bytes, ${info%%,*}, ${info#*for }"
# Only what the gateway calls comes out of libc.a.
[ "$size" -le 524288 ] || { echo "FAIL: static ptz_cgi over 512 KiB" >&2; exit 1; }
