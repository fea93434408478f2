#!/usr/bin/env bash
# The modules cross-build with drivers/Makefile in a copy of the tree, as a
# user unpacks it, and install into a root file system with their stand-ins
# (STANDINS=1), where depmod resolves what each needs; without the switch no
# stand-in is installed, and clean leaves no module built. The build, a
# failed one too, leaves nothing that git would show as untracked. The
# configuration step of the install gives the device nodes' group to a root.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/stage.sh
stage_tmpdir

bash scripts/kernel/prepare.sh
# shellcheck source=/dev/null
. "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"
tree=$tmp/tree
copy_tree "$tree"
# The copy is a repository of its own, so that git status shows what the
# in-tree builds leave behind.
git -C "$tree" init -q
git -C "$tree" add -A
git -C "$tree" -c user.name=stage -c user.email=stage@localhost commit -qm tree

rootfs=$tmp/rootfs
kmake=(make -C "$tree/drivers" KDIR="$KDIR_ARM" ARCH=arm CROSS_COMPILE="$CROSS_COMPILE_ARM")
# The board kernel signs modules at install; there is no key here.
if "${kmake[@]}" STANDINS=1 -j2 modules >"$tmp/kbuild.log" 2>&1 &&
    "${kmake[@]}" STANDINS=1 INSTALL_MOD_PATH="$rootfs" CONFIG_MODULE_SIG_ALL= modules_install \
      >>"$tmp/kbuild.log" 2>&1; then
  depmod -b "$rootfs" "${KVER:?}" 2>/dev/null
  dep=$rootfs/lib/modules/$KVER/modules.dep
  for line in "extra/gpio_i2c.ko:" "extra/qvsys.ko:" "extra/sensor_framework.ko:" \
      "extra/sar_adc.ko: extra/qvsys.ko" "extra/mn34229drv.ko: extra/sensor_framework.ko"; do
    grep -qx "$line" "$dep" || fail "installed modules: no '$line' in modules.dep"
  done
  pass "modules cross-built for $KVER and installed: $(cut -d: -f1 "$dep" | xargs -n1 basename | xargs)"
  # A board kernel with the services of its own: the stand-ins built above
  # stay out of its root file system.
  bare=$tmp/rootfs-bare
  if "${kmake[@]}" INSTALL_MOD_PATH="$bare" CONFIG_MODULE_SIG_ALL= modules_install >>"$tmp/kbuild.log" 2>&1; then
    installed=$(find "$bare" -name '*.ko*' -printf '%f\n' | sort | xargs)
    if [ "$installed" = "gpio_i2c.ko mn34229drv.ko sar_adc.ko" ]; then
      pass "without STANDINS=1 only the drivers install"
    else
      fail "install without STANDINS=1 installed: $installed"
    fi
  else
    tail -n 30 "$tmp/kbuild.log" >&2
    fail "installing the modules without the stand-ins failed"
  fi
  "${kmake[@]}" clean >>"$tmp/kbuild.log" 2>&1 || fail "make -C drivers clean failed"
  left=$(cd "$tree" && find . -name '*.ko' | sort | xargs)
  if [ -z "$left" ]; then
    pass "make -C drivers clean leaves no module built"
  else
    fail "make -C drivers clean left: $left"
  fi
else
  tail -n 30 "$tmp/kbuild.log" >&2
  fail "cross-building or installing the modules failed"
fi

# The configuration, twice, into a root with an etc/group of its own: the
# device nodes' group is added once, and the sensor driver is not loaded
# before its options select a pad.
conf=$tmp/rootfs-conf
mkdir -p "$conf/etc"
printf '%s\n' 'root:x:0:' 'www-data:x:33:' 'systemd-journal:x:999:' >"$conf/etc/group"
bash scripts/install-config.sh "$conf" >/dev/null && bash scripts/install-config.sh "$conf" >/dev/null
group=$(grep '^ptzcam:' "$conf/etc/group" | xargs)
loads=$(sed 's/#.*//' "$conf/etc/modules-load.d/ptzcam.conf" | xargs)
if [ "$group" = ptzcam:x:998: ] && [ "$loads" = "gpio_i2c sar_adc" ] &&
    grep -q '^g ptzcam ' "$conf/usr/lib/sysusers.d/ptzcam.conf"; then
  pass "install config: group ptzcam in etc/group and sysusers.d, mn34229drv left to its chmap"
else
  fail "install config: group '$group', modules loaded at start '$loads'"
fi

# A compile that fails keeps Kbuild's dependency file (.NAME.o.d).
echo '#error stage: a compile that fails' >>"$tree/drivers/gpio_i2c/gpio_i2c.c"
if make -C "$tree/drivers/gpio_i2c" KDIR="$KDIR_ARM" ARCH=arm CROSS_COMPILE="$CROSS_COMPILE_ARM" \
    modules >"$tmp/kbuild-fail.log" 2>&1; then
  fail "a module with #error built"
fi
left=$(git -C "$tree" status --porcelain --untracked-files=all | grep -v ' drivers/gpio_i2c/gpio_i2c.c$' || true)
if [ -z "$left" ]; then
  pass "in-tree builds, a failed one too, leave git status clean"
else
  fail "in-tree builds leave untracked files: $(echo "$left" | paste -sd' ')"
fi
stage_end
