#!/usr/bin/env bash
# The device-tree bindings checked as the kernel's dt_binding_check checks
# them, with dt-schema: each binding against the meta-schemas
# (dt-doc-validate), its examples compiled with dtc and validated, then the
# example board tree and the virtual board's own tree validated against the
# bindings (dt-validate). dt-validate reports on stderr and exits 0 either
# way, so any report fails the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/stage.sh
stage_tmpdir
bindings=$PWD/docs/devicetree/bindings

# compile DTS DTB: dtc must be silent.
compile() {
  if ! dtc -I dts -O dtb -o "$2" "$1" 2>"$tmp/dtc.err" || [ -s "$tmp/dtc.err" ]; then
    cat "$tmp/dtc.err" >&2
    return 1
  fi
}

# validate DTB [dt-validate options]: silent when the tree matches.
validate() {
  local dtb=$1
  shift
  dt-validate "$@" -s "$tmp/schema.json" "$dtb" 2>&1
}

# check_tree WHAT DTS: compiles cleanly and validates against every schema.
check_tree() {
  local dtb report
  dtb=$tmp/$(basename "$2" .dts).dtb
  if ! compile "$2" "$dtb"; then
    fail "$1: does not compile cleanly"
  elif report=$(validate "$dtb") && [ -z "$report" ]; then
    pass "$1: compiled and validated"
  else
    fail "$1: $report"
  fi
}

if dt-doc-validate -u "$bindings" "$bindings"/*.yaml; then
  pass "bindings match the meta-schemas: $(cd "$bindings" && echo *.yaml)"
else
  fail "dt-doc-validate"
fi
# The processed schema: the core schemas of dt-schema and ours.
dt-mk-schema -j "$bindings" >"$tmp/schema.json" 2>"$tmp/mk.err"
[ ! -s "$tmp/mk.err" ] || { cat "$tmp/mk.err" >&2; fail "dt-mk-schema"; }

for yaml in "$bindings"/*.yaml; do
  name=$(basename "$yaml" .yaml)
  dt-extract-example "$yaml" >"$tmp/$name.example.dts"
  check_tree "$name's examples" "$tmp/$name.example.dts"
done
example=docs/devicetree/tessel-sar-example.dts
check_tree "$example" "$example"
# The check can fail: a property the binding lacks is reported.
printf '&{/soc/adc@1f002000} {\n\tinterrupts = <5>;\n};\n' | cat "$example" - >"$tmp/extra.dts"
dtc -q -I dts -O dtb -o "$tmp/extra.dtb" "$tmp/extra.dts"
report=$(validate "$tmp/extra.dtb")
grep -q "'interrupts'" <<<"$report" ||
  fail "dt-validate accepts a property the binding does not allow"

# The virtual board's tree: QEMU's machine and our nodes, checked against
# our bindings (QEMU's own nodes are QEMU's business).
bash board/mkdtb.sh "$tmp/board.dtb"
matched=$(validate "$tmp/board.dtb" -M -l "$bindings")
report=$(validate "$tmp/board.dtb" -l "$bindings")
if [ -n "$report" ]; then
  fail "board tree: $report"
elif ! grep -q 'matched on schema' <<<"$matched"; then
  fail "board tree: no node matched the bindings"
else
  pass "board tree validates: $(grep -o '/[^:]*: matched' <<<"$matched" | sed 's/: matched//' | tr '\n' ' ')"
fi
stage_end
