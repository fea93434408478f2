#!/usr/bin/env bash
# Builds every kernel module in scripts/kernel/modules.list for the ARMv7
# board and for the host, with W=1, warnings as errors and sparse, and runs
# checkpatch --strict on its sources; ARMv7 modules must show the board
# kernel's vermagic and a GPL (or, for mn34229drv, Proprietary) licence, and
# their sources SPDX tags that say the same.
# Output under build/kmod/{arm,host}/NAME.
set -euo pipefail
cd "$(dirname "$0")/../.."

bash scripts/kernel/prepare.sh
# shellcheck source=/dev/null
. "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"

# An ARMv7 module must carry the licence and the board kernel's vermagic, or
# the board refuses it.
check_modinfo() {
  local ko=$1 license vermagic
  license=$(modinfo -F license "$ko")
  vermagic=$(modinfo -F vermagic "$ko")
  # mn34229drv is Proprietary by design; 35-mn34229-module proves it binds
  # only plain exports.
  if [[ "$license" != GPL && "$license" != Proprietary ]] ||
     [[ "$vermagic" != "$KVER SMP "*" ARMv7 "* ]]; then
    echo "kmod: $ko: license '$license', vermagic '$vermagic'" >&2
    return 1
  fi
}

# Every source file's SPDX tag must say what the module declares: a module
# that claims "Proprietary" cannot ship files tagged GPL, nor the reverse.
check_spdx() {
  local src=$1 license=$2 want f tag
  case $license in
    GPL) want='GPL-2.0*' ;;
    Proprietary) want='LicenseRef-Proprietary' ;;
    *) echo "kmod: $src: no SPDX tag known for licence '$license'" >&2; return 1 ;;
  esac
  for f in "$src"/*.[ch] "$src"/Kbuild "$src"/Makefile; do
    [ -f "$f" ] || continue
    tag=$(sed -n -e 's/.*SPDX-License-Identifier: *\([^ ]*\).*/\1/p' "$f" | head -n1)
    # shellcheck disable=SC2053 # $want is a pattern
    if [[ $tag != $want ]]; then
      echo "kmod: $f: SPDX tag '$tag' but the module's licence is '$license'" >&2
      return 1
    fi
  done
}

status=0
while read -r src deps; do
  name=$(basename "$src")
  for arch in arm host; do
    extra=()
    for dep in $deps; do
      extra+=(--extra-symbols "build/kmod/$arch/$(basename "$dep")/Module.symvers")
    done
    if bash scripts/kernel/build-module.sh --arch "$arch" --sparse "${extra[@]}" \
        "$src" "build/kmod/$arch/$name"; then
      echo "kmod: $name ($arch) built"
      if [ "$arch" = arm ]; then
        for ko in "build/kmod/arm/$name"/*.ko; do
          check_modinfo "$ko" || status=1
          check_spdx "$src" "$(modinfo -F license "$ko")" || status=1
        done
      fi
    else
      status=1
    fi
  done
  mapfile -t files < <(find "$src" -maxdepth 1 -name '*.[ch]' | sort)
  if [ ${#files[@]} -gt 0 ] && bash scripts/kernel/checkpatch.sh "${files[@]}"; then
    echo "kmod: $name checkpatch clean"
  else
    status=1
  fi
done < <(sed -e 's/#.*//' scripts/kernel/modules.list | grep -v '^[[:space:]]*$')

# The ioctl ABI headers are kernel code too.
if bash scripts/kernel/checkpatch.sh include/uapi/linux/*.h; then
  echo "kmod: include/uapi checkpatch clean"
else
  status=1
fi
exit $status
