#!/usr/bin/env bash
# Checks a device-tree binding document and board trees that use it:
#   - every example of the binding compiles with dtc, without a warning
#     (wrapped as the kernel's binding check wraps them: a root node with
#     one-cell addresses, references left to the overlay fixups);
#   - every property of every node with the binding's compatible is one the
#     binding lists (or "status"), and the required ones are there;
#   - each given .dts compiles without a warning and is checked the same way.
#
#   docs/devicetree/check-binding.sh BINDING.yaml [BOARD.dts ...]
set -euo pipefail
binding=${1:?usage: $0 BINDING.yaml [BOARD.dts ...]}
shift
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() {
  echo "check-binding: $*" >&2
  exit 1
}

compatible=$(sed -n 's/^    const: *//p' "$binding" | head -n1)
[ -n "$compatible" ] || fail "$binding: no compatible const"
# Top-level keys under "properties:" and the items of "required:".
mapfile -t allowed < <(awk '/^properties:/ { on = 1; next } /^[^ ]/ { on = 0 }
  on && /^  [a-z#][a-z0-9,#-]*:/ { sub(/:.*/, ""); sub(/^  /, ""); print }' "$binding")
mapfile -t required < <(awk '/^required:/ { on = 1; next } /^[^ ]/ { on = 0 }
  on && /^  - / { print $2 }' "$binding")
[ ${#allowed[@]} -gt 0 ] || fail "$binding: no properties"

# compile SRC DTB: dtc must be silent.
compile() {
  if ! dtc -I dts -O dtb -o "$2" "$1" 2>"$tmp/dtc.err" || [ -s "$tmp/dtc.err" ]; then
    cat "$tmp/dtc.err" >&2
    fail "$1 does not compile cleanly"
  fi
  dtc -I dtb -O dts -o "$2.dts" "$2" 2>/dev/null
}

# Checks the nodes of DTB whose compatible is the binding's.
check_nodes() {
  local dtb=$1 found=0 node props prop req ok
  while read -r node; do
    [ "$(fdtget -t s "$dtb" "$node" compatible 2>/dev/null | cut -d' ' -f1)" = "$compatible" ] || continue
    found=1
    props=$(fdtget -p "$dtb" "$node")
    for prop in $props; do
      ok=0
      for a in "${allowed[@]}" status phandle; do [ "$prop" = "$a" ] && ok=1; done
      [ $ok = 1 ] || fail "$dtb: $node: property '$prop' is not in the binding"
    done
    for req in "${required[@]}"; do
      grep -qx "$req" <<<"$props" || fail "$dtb: $node: required property '$req' missing"
    done
  done < <(fdtget_all "$dtb")
  [ $found = 1 ] || fail "$dtb: no node with compatible $compatible"
}

# Every node path of a DTB (fdtget lists children only).
fdtget_all() {
  local dtb=$1
  walk() {
    local path=$1 child
    echo "$path"
    for child in $(fdtget -l "$dtb" "$path" 2>/dev/null); do
      walk "${path%/}/$child"
    done
  }
  walk /
}

# The examples: each "  - |" item under "examples:", indented four spaces.
awk -v dir="$tmp" '
  /^examples:/ { on = 1; next }
  /^[^ ]/ { on = 0 }
  on && /^  - \|/ { n++; file = dir "/example-" n ".dts"; next }
  on && n { sub(/^    /, ""); print > file }
' "$binding"
shopt -s nullglob
examples=("$tmp"/example-*.dts)
[ ${#examples[@]} -gt 0 ] || fail "$binding: no examples"
for ex in "${examples[@]}"; do
  {
    printf '/dts-v1/;\n/plugin/;\n/ {\n\t#address-cells = <1>;\n\t#size-cells = <1>;\n'
    cat "$ex"
    printf '};\n'
  } >"$ex.wrapped"
  compile "$ex.wrapped" "$ex.dtb"
  check_nodes "$ex.dtb"
done
echo "check-binding: $(basename "$binding"): ${#examples[@]} examples compile and match the binding"

for dts in "$@"; do
  compile "$dts" "$tmp/board.dtb"
  check_nodes "$tmp/board.dtb"
  echo "check-binding: $dts compiles and matches the binding"
done
