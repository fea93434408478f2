#!/bin/sh
# The program starts once per request: it must not load libstdc++ or
# libgcc_s, and must not run static constructors of its own.
set -eu
prog=$1
needed=$(readelf -d "$prog" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "needs: $needed"
if echo "$needed" | grep -Eq 'libstdc\+\+|libgcc_s'; then
  echo "FAIL: $prog loads the C++ runtime at start" >&2
  exit 1
fi
if nm "$prog" | grep -q '_GLOBAL__sub_I_'; then
  echo "FAIL: $prog has static constructors:" >&2
  nm -C "$prog" | grep '_GLOBAL__sub_I_' >&2
  exit 1
fi
