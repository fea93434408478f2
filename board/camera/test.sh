#!/usr/bin/env bash
# The whole camera, end to end, on one kernel (the test stages 64-camera and
# 66-camera49 run it):
#
#   1. scripts/run.sh --board --once builds the camera and serves the
#      examples from the guest;
#   2. the staging root holds what the install rules put there and nothing
#      of the test models; modules and programs are stripped;
#   3. in one boot: the served end-to-end tests (tools/serve/test) from the
#      host through the forwarded port, while the guest's own checks (device
#      tools against the test models, the sensor through the framework
#      stand-in, modules loaded and unloaded with modprobe, a clean kernel
#      log) report in its closing line; then the control page in chromium.
#
#   board/camera/test.sh [--kernel 6.1|4.9]
#
# Every wait is bounded: a hang fails this script, never the caller's run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
cd "$top"
# shellcheck source=scripts/lib/stage.sh
. scripts/lib/stage.sh
stage_tmpdir

kernel=6.1
[ "${1:-}" != --kernel ] || kernel=${2:?}
stage_tag=camera${kernel/6.1/}
stage_tag=${stage_tag/4.9/49}

cmake --preset default >/dev/null
cmake --build --preset default -j2 --target served_tests >/dev/null
out=build/board/$kernel

# 1. The main job's board mode, which builds the camera (cold, with every
# module of the board, in minutes).
rm -f "$out/camera.cpio.gz"
port=$(( 20000 + RANDOM % 20000 ))
if timeout 600 bash scripts/run.sh --board --kernel "$kernel" --once --port "$port" </dev/null \
    >"$tmp/run.out" 2>&1; then
  missing=$(run_examples_missing "$tmp/run.out" armv7l)
  if [ -z "$missing" ]; then
    pass "run.sh --board --once: $(grep -o 'from the ARMv7 guest.*' "$tmp/run.out")"
  else
    cat "$tmp/run.out" >&2
    fail "run.sh --board --once: missing$missing"
  fi
else
  tail -n 40 "$tmp/run.out" >&2
  fail "run.sh --board --once failed"
  [ -f "$out/camera.cpio.gz" ] || stage_end
fi
grep '^camera:' "$tmp/run.out" || true

# 2. The staging root it was built from.
stage=$out/stage
listing=$(cd "$stage" && find . ! -type d | LC_ALL=C sort)
strays=$(echo "$listing" | grep -E 'board|qvsys|sensor_framework|visca_sim|camera_ctl|busybox|lighttpd/lighttpd.conf' || true)
if [ -z "$strays" ]; then
  pass "the staging root holds only what the install rules put there ($(echo "$listing" | wc -l) files)"
else
  fail "the staging root holds test-only files: $strays"
fi
modules=$(echo "$listing" | sed -n 's|.*/extra/\(.*\)\.ko$|\1|p' | xargs)
[ "$modules" = "gpio_i2c mn34229drv sar_adc" ] || fail "installed modules: $modules"
for ko in "$stage"/lib/modules/*/extra/*.ko; do
  ! arm-linux-gnueabihf-readelf -S "$ko" | grep -q '\.debug_' || fail "$(basename "$ko") keeps debug information"
done
for program in usr/lib/ptz-gateway/ptz_cgi usr/sbin/rjgt102-reg usr/sbin/sar-adc; do
  ! arm-linux-gnueabihf-readelf -S "$stage/$program" | grep -q '\.symtab' || fail "$program is not stripped"
done
pass "modules and programs stripped"
# Each module carries the project's version; an install for a kernel whose
# tree lacks the platform's services stops and names what is missing.
version=$(cat VERSION)
for ko in "$stage"/lib/modules/*/extra/*.ko; do
  [ "$(modinfo -F version "$ko")" = "$version" ] || fail "$(basename "$ko"): no version $version"
done
if bash scripts/install.sh --kernel "$kernel" "$tmp/bare" >"$tmp/bare.out" 2>&1 ||
    ! grep -q 'sar_adc.ko needs qvsys_get_sysfs_class (qvsys' "$tmp/bare.out"; then
  cat "$tmp/bare.out" >&2
  fail "install without qvsys and the sensor framework goes on"
else
  pass "modules at version $version; install without the platform's services stops"
fi
# The gateway's state folder is the web server's (the init hands over nothing).
[ "$(stat -c %u:%g "$stage/var/lib/ptz-gateway")" = 33:33 ] &&
  grep -qx 'd /var/lib/ptz-gateway 0755 www-data www-data -' "$stage/usr/lib/tmpfiles.d/ptz-gateway.conf" ||
  fail "the state folder is not www-data's in the staging root and its tmpfiles.d rule"
# The gateway the install rules ship starts on any C library.
gateway=$(file -b "$stage/usr/lib/ptz-gateway/ptz_cgi")
[[ $gateway == *"statically linked"* ]] || fail "ptz_cgi is not linked statically: $gateway"
[ ! -e "$stage/etc/lighttpd/ptz-users.htdigest" ] || fail "the staging root has a password built in"

# 3. One boot: served tests from the host, the guest's own checks.
# shellcheck source=board/camera/boot.sh
. "$here/boot.sh"
trap 'camera_kill; rm -rf "$tmp"' EXIT
port=$(( 20000 + RANDOM % 20000 ))
log=$out/camera-console.log
camera_boot "$kernel" "$port" "$log"
if camera_wait_ready 240; then
  # The password the camera made at its first boot.
  login=$(grep -a '^camera: login: ' "$log" | tr -d '\r' | sed 's/^camera: login: //')
  export PTZ_BOARD_LOGIN=$login PTZ_LOGIN=$login
  if PTZ_BOARD_PORT=$port timeout 300 build/default/tools/served_tests \
      --gtest_filter=-Served.RunScriptOnATakenPortCleansUp >"$tmp/served.out" 2>&1; then
    pass "served end-to-end tests against the guest: $(grep -c '^\[       OK \]' "$tmp/served.out") passed"
  else
    cat "$tmp/served.out" >&2
    fail "served end-to-end tests against the guest"
  fi
  # The control page in Debian's chromium, against a fresh simulator's log.
  curl -sS --max-time 20 --digest -u "$login" "http://127.0.0.1:$port/board/ctl?sim" >/dev/null &&
    timeout 180 node web/test/page_test.mjs "http://127.0.0.1:$port/" \
      "http://127.0.0.1:$port/board/ctl?log" "$out/page.png" || fail "control page in chromium"
else
  fail "the camera did not come up"
fi
if camera_poweroff 120; then
  pass "in-guest: $(grep -a '^camera: [0-9]* passed' "$log" | tr -d '\r')"
else
  grep -a '^FAIL' "$log" >&2 || true
  fail "in-guest checks or power-off (console: $log)"
fi
stage_end
