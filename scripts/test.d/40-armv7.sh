#!/usr/bin/env bash
# ptz_cgi, the head simulator and the unit tests cross-built for ARMv7; the
# tests run under qemu-arm-static. Reports the stripped size of ptz_cgi and
# the newest C library symbol version it asks for; then the static ptz_cgi
# (armv7-static preset) must answer under the emulator without any ARM C
# library to load. Last, the hardening of every program the board gets.
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

# Hardening. Debian's hardening-check reads ARM programs through readelf,
# but its stack-clash test disassembles x86 and its control-flow test looks
# for x86's CET: those two are left to the compile commands (a program whose
# frames all stay below a page carries no stack probe to find). It judges a
# dynamic program only: it finds the stack protector by the import of
# __stack_chk_fail, and counts a fixed address a failure. So the static
# programs get readelf: relocations read-only, no executable stack, and
# address randomisation where the toolchain links static PIEs (configure
# said so); nm finds the fortified calls of the static gateway.
hardening-check --nocfprotection "$tmp/dynamic"
for flag in -fstack-protector-strong -fstack-clash-protection -D_FORTIFY_SOURCE=2; do
  for build in build/armv7 build/armv7-static; do
    without=$(grep '"command"' "$build/compile_commands.json" | grep -c -v -- " $flag " || true)
    [ "$without" = 0 ] || { echo "FAIL: $build: $without sources compiled without $flag" >&2; exit 1; }
  done
done
static_pie=$(sed -n 's/^PTZ_HAS_STATIC_PIE:INTERNAL=\(.*\)/\1/p' build/armv7-static/CMakeCache.txt)
cmake --build --preset armv7-static -j2 --target rjgt102-reg sar-adc
for program in build/armv7-static/cgi/ptz_cgi build/armv7-static/tools/*/rjgt102-reg \
  build/armv7-static/tools/*/sar-adc; do
  headers=$(arm-linux-gnueabihf-readelf -lW "$program")
  type=$(sed -n 's/^Elf file type is \([A-Z]*\).*/\1/p' <<<"$headers")
  [ "$type" = "$([ "$static_pie" = 1 ] && echo DYN || echo EXEC)" ] ||
    { echo "FAIL: $program: ELF type $type (static PIE: ${static_pie:-0})" >&2; exit 1; }
  grep -q '^ *GNU_RELRO ' <<<"$headers" || { echo "FAIL: $program: no RELRO" >&2; exit 1; }
  grep -q '^ *GNU_STACK .* RW  ' <<<"$headers" ||
    { echo "FAIL: $program: executable or unmarked stack" >&2; exit 1; }
  echo "ARMv7 $program: $type, RELRO, stack not executable"
done
# The tools call nothing the C library fortifies; the gateway does.
# Not grep -q: nm killed by a closed pipe would fail the pipeline.
arm-linux-gnueabihf-nm build/armv7-static/cgi/ptz_cgi | grep ' T __[a-z]*_chk$' >/dev/null ||
  { echo "FAIL: static ptz_cgi: no fortified C library call" >&2; exit 1; }
