#!/usr/bin/env bash
# Static analysis of the C++ (CGI, tools, tests, the kernel bench, the board's
# guest program): its format against the root .clang-format, clang-tidy with
# the checked-in .clang-tidy and cppcheck,
# both from the default preset's compile_commands.json (configured only,
# nothing is built) and the guest program's own flags. Any finding fails the stage; suppressions sit beside the
# code with their reason. The kernel C is checked by sparse and checkpatch in
# the kmod stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$(pwd)

cmake --preset default >/dev/null
db=build/default/compile_commands.json

mapfile -t files < <(grep -o '"file": *"[^"]*\.cpp"' "$db" | sed 's/.*"\([^"]*\)"$/\1/' \
  | grep "^$top/" | grep -v "^$top/build/" | sort -u)
# The board's guest programs (board/guest, and board/camera's test hook) are
# cross-built by the board's scripts, outside CMake; they are analysed
# with the host's headers and their own flags.
mapfile -t guest < <(find board/guest board/camera -name '*.cpp' 2>/dev/null | sort)
guest_flags=(-std=c++17 -I"$top/include/uapi")
echo "analysis: ${#files[@]} C++ files, ${#guest[@]} of the guest program"

status=0
# One style for all C++ (.clang-format); scripts/format.sh fixes what this finds.
if bash scripts/format.sh --check 2>build/analysis-format.log; then
  echo "analysis: clang-format clean"
else
  grep -E '(warning|error): ' build/analysis-format.log | sed "s|$top/||" | sort -u | head -n 40 >&2
  echo "analysis: C++ not in the tree's style (run scripts/format.sh)" >&2
  status=1
fi

log=build/analysis-clang-tidy.log
tidy_ok=true
printf '%s\n' "${files[@]}" \
  | xargs -P 2 -n 4 clang-tidy-14 -p build/default --quiet >"$log" 2>&1 || tidy_ok=false
if [ ${#guest[@]} -gt 0 ]; then
  printf '%s\n' "${guest[@]}" \
    | xargs -P 2 -n 4 sh -c 'clang-tidy-14 --quiet "$@" -- '"${guest_flags[*]}" tidy \
    >>"$log" 2>&1 || tidy_ok=false
fi
if $tidy_ok; then
  echo "analysis: clang-tidy clean"
else
  grep -E '(warning|error): ' "$log" | sed "s|$top/||" | sort -u >&2
  echo "analysis: clang-tidy found the above" >&2
  status=1
fi

# warning, performance and portability: the checks that find faults.
if cppcheck --project="$db" --file-filter='*.cpp' -i "$top/build" \
    --library=googletest --library=posix \
    --enable=warning,performance,portability --inline-suppr --error-exitcode=1 \
    -j2 -q --template='{file}:{line}: {severity}: {message} [{id}]' 2>&1 | sed "s|$top/||" >&2; then
  echo "analysis: cppcheck clean"
else
  echo "analysis: cppcheck found the above" >&2
  status=1
fi
if [ ${#guest[@]} -gt 0 ]; then
  if cppcheck --language=c++ --std=c++17 -I "$top/include/uapi" --library=posix \
      --enable=warning,performance,portability --inline-suppr --error-exitcode=1 \
      -j2 -q --template='{file}:{line}: {severity}: {message} [{id}]' "${guest[@]}" 2>&1 \
      | sed "s|$top/||" >&2; then
    echo "analysis: cppcheck clean on the guest program"
  else
    echo "analysis: cppcheck found the above in the guest program" >&2
    status=1
  fi
fi
# The test command runs what it is asked or says why not: a name that is no
# stage fails and lists the stages, as --help does.
if ! bash scripts/test.sh 10 >/dev/null 2>build/analysis-stages.log &&
    grep -q ' 15-analysis ' build/analysis-stages.log &&
    bash scripts/test.sh --help | grep -q ' 15-analysis '; then
  echo "analysis: the test command refuses an unknown stage and lists the stages"
else
  echo "analysis: the test command accepts an unknown stage or lists no stages" >&2
  status=1
fi
# The kernel cache, against a small package of the 4.9 tree's shape: a copy
# with other times takes the tree unpacked from the first, a changed one is
# unpacked beside it, and the first stays for the builds that use it.
bash scripts/kernel/prepare.sh
# shellcheck source=/dev/null
. "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"
kc=$(mktemp -d)
trap 'rm -rf "$kc"' EXIT
mkdir -p "$kc/cache/$KVER" "$kc/cache/checkpatch" "$kc/one/linux-headers-4.9.337-dbg-armv7"
touch "$kc/cache/$KVER/.done" "$kc/cache/checkpatch/checkpatch.pl"
echo tree >"$kc/one/linux-headers-4.9.337-dbg-armv7/Makefile"
tar -cJf "$kc/one/linux-headers-4.9.337-dbg-armv7.tar.xz" -C "$kc/one" linux-headers-4.9.337-dbg-armv7
echo image >"$kc/one/zImage-4.9.337-dbg"
echo config >"$kc/one/config-4.9.337-dbg"
cp -r "$kc/one" "$kc/copy"
touch -d 2001-01-01 "$kc/copy"/*
kdir_49() { KCACHE=$kc/cache KPKG_49=$kc/$1 bash scripts/kernel/prepare.sh && sed -n 's/^KDIR_49=//p' "$kc/cache/env.sh"; }
first=$(kdir_49 one) && touch "$first/in-use" && copied=$(kdir_49 copy) &&
  echo other >"$kc/copy/zImage-4.9.337-dbg" && changed=$(kdir_49 copy) || true
if [ -n "$first" ] && [ "$copied" = "$first" ] && [ -f "$first/in-use" ] &&
    [ -n "$changed" ] && [ "$changed" != "$first" ] && [ -f "$changed/Makefile" ]; then
  echo "analysis: the kernel cache is keyed by content and keeps a tree in use"
else
  echo "analysis: kernel cache: first '$first', a copy '$copied', changed '$changed'" >&2
  status=1
fi
exit $status
