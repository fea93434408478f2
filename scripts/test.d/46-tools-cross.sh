#!/usr/bin/env bash
# rjgt102-reg and sar-adc cross-build for ARMv7 (static), install with
# DESTDIR with the ioctl headers, and run under qemu-arm-static; the host
# build installs the same way.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/stage.sh
top=$stage_top
stage_tmpdir

version=$(head -n1 VERSION)
arm_build=build/armv7-tools
toolchain=cmake/arm-linux-gnueabihf.cmake
if [ -f "$toolchain" ]; then
  cross=(-DCMAKE_TOOLCHAIN_FILE="$top/$toolchain")
else
  cross=(-DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=arm
    -DCMAKE_C_COMPILER=arm-linux-gnueabihf-gcc -DCMAKE_CXX_COMPILER=arm-linux-gnueabihf-g++)
fi
cmake -S . -B "$arm_build" "${cross[@]}" -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$arm_build" -j2 --target rjgt102-reg sar-adc >"$tmp/arm-build.log" ||
  { cat "$tmp/arm-build.log" >&2; exit 1; }
DESTDIR=$tmp/arm cmake --install "$arm_build" --component tools --prefix /usr >/dev/null
DESTDIR=$tmp/arm cmake --install "$arm_build" --component headers --prefix /usr >/dev/null
for f in usr/sbin/rjgt102-reg usr/sbin/sar-adc usr/include/linux/rjgt102_i2c.h usr/include/linux/tessel_sar.h; do
  [ -f "$tmp/arm/$f" ] || fail "ARMv7 install lacks /$f"
done
for tool in rjgt102-reg sar-adc; do
  bin=$tmp/arm/usr/sbin/$tool
  [ -f "$bin" ] || continue
  info=$(file -b "$bin")
  [[ $info == *"ARM, EABI5"* && $info == *"statically linked"* ]] || fail "$tool: $info"
  qemu-arm-static "$bin" --help | head -n1 | grep -q "^Usage: $tool " || fail "$tool --help under qemu"
  [ "$(qemu-arm-static "$bin" --version)" = "$tool $version" ] || fail "$tool --version is not $version"
  # A board without the driver: a clear message and status 1.
  args=(-d "$tmp/no-such-node")
  [ "$tool" = rjgt102-reg ] && args+=(dump)
  rc=0
  err=$(qemu-arm-static "$bin" "${args[@]}" 2>&1 >/dev/null) || rc=$?
  if [ $rc -ne 1 ] || [[ $err != "$tool: cannot open $tmp/no-such-node: No such file or directory"* ]]; then
    fail "$tool without a device: status $rc, '$err'"
  fi
  pass "ARMv7 $tool $version: $(stat -c %s "$bin") bytes, static, runs under qemu-arm-static"
done

cmake --preset default >/dev/null
cmake --build --preset default -j2 --target rjgt102-reg sar-adc >"$tmp/host-build.log" ||
  { cat "$tmp/host-build.log" >&2; exit 1; }
DESTDIR=$tmp/host cmake --install build/default --component tools --prefix /usr >/dev/null
host_ok=true
for tool in rjgt102-reg sar-adc; do
  "$tmp/host/usr/sbin/$tool" --help >/dev/null || { fail "host $tool --help"; host_ok=false; }
done
$host_ok && pass "host tools install into DESTDIR/usr/sbin"
stage_end
