#!/usr/bin/env bash
# dkms.conf parses and names modules that exist, with and without the
# stand-ins (only with PTZCAM_STANDINS=yes); dkms builds all modules against the host's kernel headers in a
# private dkms tree, or the stage reports itself skipped when dkms or the
# headers are missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/stage.sh
stage_tmpdir

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
[ "$stage_failed" -eq 0 ] && pass "dkms.conf names the modules it builds (with and without stand-ins)"

kver=$(basename "$(readlink -f /usr/src/linux-headers-*-amd64 | head -n1)" | sed 's/^linux-headers-//')
if ! command -v dkms >/dev/null; then
  skip "dkms is not installed: no dkms build"
elif [ ! -d "/lib/modules/$kver/build" ]; then
  skip "no kernel headers in /lib/modules/$kver/build: no dkms build"
else
  mkdir -p "$tmp/dkms/tree"
  copy_tree "$tmp/dkms/src/ptzcam-1.0"
  # The host kernel has neither service: added with the stand-ins, which
  # the build then keeps without being told again, as AUTOINSTALL's do.
  dkms_tree=(-m ptzcam -v 1.0 --sourcetree "$tmp/dkms/src" --dkmstree "$tmp/dkms/tree")
  if PTZCAM_STANDINS=yes dkms add "${dkms_tree[@]}" >"$tmp/dkms.log" 2>&1 &&
      env -u PTZCAM_STANDINS dkms build "${dkms_tree[@]}" -k "$kver" -j 2 >>"$tmp/dkms.log" 2>&1; then
    built=$(find "$tmp/dkms/tree" -path "*/$kver/*" -name '*.ko*' -printf '%f\n' | sort | xargs)
    if [ "$(wc -w <<<"$built")" -eq 5 ]; then
      pass "dkms build for $kver, stand-ins as added: $built"
    else
      fail "dkms built only: $built"
    fi
  else
    tail -n 30 "$tmp/dkms.log" >&2
    fail "dkms build for $kver failed"
  fi
fi
stage_end
