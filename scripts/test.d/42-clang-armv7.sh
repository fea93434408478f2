#!/usr/bin/env bash
# The ARMv7 toolchain file with a second toolchain, as an SDK would bring
# one: clang --target=armv7a-linux-gnueabihf with lld, against a sysroot of
# Debian's armhf packages (C library, libstdc++, libgcc) instead of the
# cross compiler's own tree. The gateway and the tools build, and their
# tests pass under qemu-arm-static. Then the same file, given only a
# compiler prefix and that sysroot, configures and builds the gateway.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/stage.sh
stage_tmpdir
top=$stage_top
toolchain=$top/cmake/arm-linux-gnueabihf.cmake

# The sysroot: Debian's armhf packages, kept in the kernel cache beside the
# camera's userland.
bash scripts/kernel/prepare.sh
# shellcheck source=scripts/lib/armhf.sh
. scripts/lib/armhf.sh
cache=${KCACHE:-/var/cache/ptzcam-kernel}/sysroot-armhf
(
  flock 9
  armhf_unpack "$cache" "libc6:armhf libc6-dev:armhf linux-libc-dev:armhf libgcc-s1:armhf
    libgcc-12-dev:armhf libstdc++6:armhf libstdc++-12-dev:armhf" clang-armv7
) 9>"$cache.lock"
sysroot=$cache/root

targets=(ptz_cgi ptz_cgi_unit_tests visca_sim visca_sim_tests rjgt102-reg sar-adc devtools_cli_test)
build=build/armv7-clang
cmake -S . -B "$build" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_C_COMPILER_TARGET=armv7a-linux-gnueabihf -DCMAKE_CXX_COMPILER_TARGET=armv7a-linux-gnueabihf \
  -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SYSROOT="$sysroot" \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >"$tmp/configure.log" ||
  { cat "$tmp/configure.log" >&2; exit 1; }
cmake --build "$build" -j2 --target "${targets[@]}" >"$tmp/build.log" 2>&1 ||
  { tail -n 40 "$tmp/build.log" >&2; exit 1; }
info=$(file -b "$build/cgi/ptz_cgi")
made_by=$(readelf -p .comment "$build/cgi/ptz_cgi" | grep -o 'clang version [0-9.]*' | head -n1)
if [[ $info == *"ARM, EABI5"* ]] && [ -n "$made_by" ]; then
  pass "ptz_cgi built by $made_by against $sysroot"
else
  fail "ptz_cgi: $info, ${made_by:-not built by clang}"
fi
# The tests of the gateway and the tools only; the kernel bench is not built.
for dir in cgi tools; do
  if ctest --test-dir "$build/$dir" -j2 --output-on-failure >"$tmp/ctest-$dir.log" 2>&1; then
    pass "$dir: $(grep -o '[0-9]* tests failed out of [0-9]*' "$tmp/ctest-$dir.log" | sed 's/.* out of /all of /') tests pass under the emulator"
  else
    cat "$tmp/ctest-$dir.log" >&2
    fail "$dir: tests under the emulator"
  fi
done

# A prefix and a sysroot, nothing else: no build type either, so the
# default one, optimised, which fortification needs.
if cmake -S . -B "$tmp/prefix" --toolchain "$toolchain" -DCROSS_COMPILE=arm-linux-gnueabihf- \
    -DCMAKE_SYSROOT="$sysroot" -DBUILD_TESTING=OFF >"$tmp/prefix.log" 2>&1 &&
  grep -q 'No CMAKE_BUILD_TYPE given: building RelWithDebInfo' "$tmp/prefix.log" &&
  cmake --build "$tmp/prefix" -j2 --target ptz_cgi >>"$tmp/prefix.log" 2>&1 &&
  [[ $(file -b "$tmp/prefix/cgi/ptz_cgi") == *"ARM, EABI5"* ]] &&
  { hardening-check "$tmp/prefix/cgi/ptz_cgi" >>"$tmp/prefix.log" 2>&1 || true; } &&
  grep -q 'Fortify Source functions: yes' "$tmp/prefix.log"; then
  pass "a compiler prefix and a sysroot alone configure and build ptz_cgi, optimised and fortified"
else
  tail -n 30 "$tmp/prefix.log" >&2
  fail "the toolchain file with only a prefix and a sysroot"
fi
stage_end
