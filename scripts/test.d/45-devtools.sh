#!/usr/bin/env bash
# What ships beside the drivers for firmware engineers, checked:
#   - the ioctl headers compile on their own, in C and C++, for the host and
#     ARMv7, with the ABI layout asserted (include/check/uapi_abi.c);
#   - rjgt102-reg and sar-adc cross-build for ARMv7 (static), install with
#     DESTDIR, and run under qemu-arm-static; the host build installs too;
#   - the device-tree binding's examples and the example board tree compile
#     with dtc and match the binding;
#   - the modules cross-build with drivers/Makefile from a copy of the tree
#     and install into a root file system with their stand-ins (STANDINS=1),
#     where depmod resolves what each needs; without the switch no stand-in
#     is installed, and clean leaves no module built;
#   - dkms.conf parses, names modules that exist (the stand-ins only with
#     PTZCAM_STANDINS=yes), and (when dkms is installed) builds all modules
#     with the stand-ins against the host's kernel headers in a private dkms
#     tree.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
fail() {
  echo "devtools: $*" >&2
  status=1
}

# --- ioctl headers ---------------------------------------------------------------
for cc in gcc arm-linux-gnueabihf-gcc; do
  cxx=${cc%gcc}g++
  for h in include/uapi/linux/*.h; do
    inc="#include <linux/$(basename "$h")>"
    echo "$inc" | $cc -std=c99 -pedantic -Wall -Wextra -Werror -Iinclude/uapi -fsyntax-only -x c - ||
      fail "$h does not compile alone as C ($cc)"
    echo "$inc" | $cxx -std=c++11 -pedantic -Wall -Wextra -Werror -Iinclude/uapi -fsyntax-only -x c++ - ||
      fail "$h does not compile alone as C++ ($cxx)"
  done
  $cc -std=c11 -pedantic -Wall -Wextra -Werror -Iinclude/uapi -fsyntax-only include/check/uapi_abi.c ||
    fail "ABI layout check failed in C ($cc)"
  $cxx -std=c++17 -pedantic -Wall -Wextra -Werror -Iinclude/uapi -fsyntax-only -x c++ include/check/uapi_abi.c ||
    fail "ABI layout check failed in C++ ($cxx)"
done
[ $status -eq 0 ] && echo "devtools: ioctl headers compile alone and keep their layout (C, C++; host, ARMv7)"

# --- tools: ARMv7 cross build, install, run under emulation ----------------------------
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
  # A board without the driver: a clear message and status 1.
  args=(-d "$tmp/no-such-node")
  [ "$tool" = rjgt102-reg ] && args+=(dump)
  rc=0
  err=$(qemu-arm-static "$bin" "${args[@]}" 2>&1 >/dev/null) || rc=$?
  if [ $rc -ne 1 ] || [[ $err != "$tool: cannot open $tmp/no-such-node: No such file or directory"* ]]; then
    fail "$tool without a device: status $rc, '$err'"
  fi
  echo "devtools: ARMv7 $tool: $(stat -c %s "$bin") bytes, static, runs under qemu-arm-static"
done

# The host build installs the same way.
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target rjgt102-reg sar-adc >"$tmp/host-build.log" ||
  { cat "$tmp/host-build.log" >&2; exit 1; }
DESTDIR=$tmp/host cmake --install build/default --component tools --prefix /usr >/dev/null
for tool in rjgt102-reg sar-adc; do
  "$tmp/host/usr/sbin/$tool" --help >/dev/null || fail "host $tool --help"
done
echo "devtools: host tools install into DESTDIR/usr/sbin"

# --- device-tree binding ----------------------------------------------------------------
bash docs/devicetree/check-binding.sh docs/devicetree/bindings/qrvn,tessel-sar.yaml \
  docs/devicetree/tessel-sar-example.dts || fail "device-tree binding check"

# --- modules: cross-build and install into a root file system -------------------------
# A copy of the tree, as a user unpacks it: the in-tree build leaves objects
# beside the sources.
copy_tree() {
  mkdir -p "$1"
  git ls-files -co --exclude-standard | tar -cf - -T - | tar -xf - -C "$1"
}
bash scripts/kernel/prepare.sh
# shellcheck source=/dev/null
. "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"
copy_tree "$tmp/tree"
rootfs=$tmp/rootfs
# The board kernel signs modules at install; there is no key here.
kmake=(make -C "$tmp/tree/drivers" KDIR="$KDIR_ARM" ARCH=arm CROSS_COMPILE="$CROSS_COMPILE_ARM")
if "${kmake[@]}" STANDINS=1 -j2 modules >"$tmp/kbuild.log" 2>&1 &&
    "${kmake[@]}" STANDINS=1 INSTALL_MOD_PATH="$rootfs" CONFIG_MODULE_SIG_ALL= modules_install \
      >>"$tmp/kbuild.log" 2>&1; then
  depmod -b "$rootfs" "${KVER:?}" 2>/dev/null
  dep=$rootfs/lib/modules/$KVER/modules.dep
  for line in "extra/gpio_i2c.ko:" "extra/qvsys.ko:" "extra/sensor_framework.ko:" \
      "extra/sar_adc.ko: extra/qvsys.ko" "extra/mn34229drv.ko: extra/sensor_framework.ko"; do
    grep -qx "$line" "$dep" || fail "installed modules: no '$line' in modules.dep"
  done
  echo "devtools: modules cross-built for $KVER and installed: $(cut -d: -f1 "$dep" | xargs -n1 basename | xargs)"
  # A board kernel with the services of its own: the stand-ins built above
  # stay out of its root file system.
  bare=$tmp/rootfs-bare
  if "${kmake[@]}" INSTALL_MOD_PATH="$bare" CONFIG_MODULE_SIG_ALL= modules_install >>"$tmp/kbuild.log" 2>&1; then
    installed=$(find "$bare" -name '*.ko*' -printf '%f\n' | sort | xargs)
    [ "$installed" = "gpio_i2c.ko mn34229drv.ko sar_adc.ko" ] ||
      fail "install without STANDINS=1 installed: $installed"
  else
    tail -n 30 "$tmp/kbuild.log" >&2
    fail "installing the modules without the stand-ins failed"
  fi
  "${kmake[@]}" clean >>"$tmp/kbuild.log" 2>&1 || fail "make -C drivers clean failed"
  left=$(cd "$tmp/tree" && find . -name '*.ko' | sort | xargs)
  [ -z "$left" ] || fail "make -C drivers clean left: $left"
else
  tail -n 30 "$tmp/kbuild.log" >&2
  fail "cross-building or installing the modules failed"
fi

# --- dkms.conf ------------------------------------------------------------------------------
bash -n dkms.conf || fail "dkms.conf does not parse"
for standins in yes no unset; do
  setting=(PTZCAM_STANDINS="$standins")
  [ "$standins" = unset ] && setting=(-u PTZCAM_STANDINS)  # the default: no stand-ins
  # shellcheck disable=SC2016 # expanded by the inner shell
  modules=$(env "${setting[@]}" kernel_source_dir=/k bash -c '
    . ./dkms.conf
    for i in "${!BUILT_MODULE_NAME[@]}"; do
      echo "${BUILT_MODULE_NAME[$i]} ${BUILT_MODULE_LOCATION[$i]} ${DEST_MODULE_LOCATION[$i]}"
    done')
  want=3
  [ $standins = yes ] && want=5
  [ "$(wc -l <<<"$modules")" -eq $want ] || fail "dkms.conf (stand-ins $standins): $modules"
  while read -r name dir dest; do
    if [ ! -f "$dir/Kbuild" ] || ! grep -q "obj-m.*\b$name\.o" "$dir/Kbuild" || [ -z "$dest" ]; then
      fail "dkms.conf: $name is not built in $dir"
    fi
  done <<<"$modules"
done
kver=$(basename "$(readlink -f /usr/src/linux-headers-*-amd64 | head -n1)" | sed 's/^linux-headers-//')
if command -v dkms >/dev/null && [ -d "/lib/modules/$kver/build" ]; then
  mkdir -p "$tmp/dkms/tree"
  copy_tree "$tmp/dkms/src/ptzcam-1.0"
  # The host kernel has neither service: build with the stand-ins.
  if PTZCAM_STANDINS=yes dkms build -m ptzcam -v 1.0 -k "$kver" --sourcetree "$tmp/dkms/src" \
      --dkmstree "$tmp/dkms/tree" -j 2 >"$tmp/dkms.log" 2>&1; then
    built=$(find "$tmp/dkms/tree" -path "*/$kver/*" -name '*.ko*' -printf '%f\n' | sort | xargs)
    [ "$(wc -w <<<"$built")" -eq 5 ] || fail "dkms built only: $built"
    echo "devtools: dkms build for $kver: $built"
  else
    tail -n 30 "$tmp/dkms.log" >&2
    fail "dkms build for $kver failed"
  fi
else
  echo "devtools: dkms or the host's kernel headers missing: dkms build skipped"
fi

exit $status
