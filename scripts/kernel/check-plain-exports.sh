#!/usr/bin/env bash
# Usage: check-plain-exports.sh MODULE.ko SYMVERS...
# Proves that a module which is not GPL-compatible binds only symbols exported
# to all modules: every undefined symbol of MODULE.ko must be listed in one of
# the Module.symvers files as EXPORT_SYMBOL (not EXPORT_SYMBOL_GPL, not
# missing). Prints each offending symbol and exits 1 if there is any.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 MODULE.ko SYMVERS..." >&2; exit 2; }
ko=$1
shift

nm_tool=nm
if [ "$(od -An -tx1 -j18 -N1 "$ko" | tr -d ' ')" = "28" ]; then   # e_machine EM_ARM
  nm_tool=arm-linux-gnueabihf-nm
fi

# Module.symvers lines: CRC SYMBOL MODULE EXPORT_TYPE [NAMESPACE]
declare -A export_of
for symvers in "$@"; do
  while IFS=$'\t' read -r _crc sym _mod kind _ns; do
    export_of[$sym]=$kind
  done < "$symvers"
done

bad=0
count=0
while read -r sym; do
  count=$((count + 1))
  case "${export_of[$sym]:-}" in
    EXPORT_SYMBOL) ;;
    "") echo "$(basename "$ko"): $sym is not exported by any listed Module.symvers"; bad=1 ;;
    *) echo "$(basename "$ko"): $sym is exported as ${export_of[$sym]}"; bad=1 ;;
  esac
done < <("$nm_tool" -u "$ko" | awk '{print $2}')

[ "$bad" -eq 0 ] && echo "$(basename "$ko"): all $count undefined symbols are plain exports"
exit "$bad"
