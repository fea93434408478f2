#!/usr/bin/env bash
# Builds and boots the virtual ARMv7 board: a kernel under QEMU with the
# board's device tree, our modules, the test-only models and the guest test
# program.
#
#   board/run.sh            run the in-guest checks; exit 0 only if all pass
#   board/run.sh --shell    interactive: a shell on the console, modules loaded
#   --kernel 6.1|4.9        Debian's armmp kernel (default) or the 4.9.337
#                           debug kernel (lockdep, kmemleak, slab debugging)
#   --no-build              boot what build/board/KERNEL already holds
#
# The console goes to standard output and to build/board/KERNEL/console.log.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)

# Fewer checks than this means some of them were skipped.
min_checks=40
# A cold boot and every check take about a minute; a hang ends here.
time_limit=${BOARD_TIMEOUT:-240}

mode="test"
build=1
kernel=6.1
while [ $# -gt 0 ]; do
  case $1 in
    --shell) mode=shell ;;
    --no-build) build=0 ;;
    --kernel) kernel=${2:-}; shift ;;
    *) echo "usage: $0 [--shell] [--kernel 6.1|4.9] [--no-build]" >&2; exit 2 ;;
  esac
  shift
done

[ "$build" -eq 0 ] || bash "$here/build.sh" --kernel "$kernel"
# shellcheck source=/dev/null
. "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"
# shellcheck source=board/kernels.sh
. "$here/kernels.sh"
board_kernel "$kernel" || exit 2
common=${BOARD_OUT:-$top/build/board}
out=$common/$kernel
# shellcheck source=board/machine.sh
. "$here/machine.sh"

# panic=-1 with oops=panic and -no-reboot: a crash ends QEMU at once.
# The checks read the kernel log themselves: keep the console to the checks'
# lines and emergencies (oopses, panics).
cmdline="console=ttyAMA0 panic=-1 oops=panic board.mode=$mode $BOARD_CMDLINE"
[ "$mode" = shell ] || cmdline="$cmdline loglevel=1"
qemu=(qemu-system-arm "${BOARD_MACHINE[@]}" -kernel "$BOARD_KIMAGE" -dtb "$common/board.dtb"
  -initrd "$out/initramfs.cpio.gz" -append "$cmdline")

if [ "$mode" = shell ]; then
  echo "board: booting; leave the shell with 'poweroff -f' (or Ctrl-A X)"
  exec "${qemu[@]}"
fi

log=$out/console.log
status=0
timeout -k 5 "$time_limit" "${qemu[@]}" </dev/null | tee "$log" || status=$?

# The guest's closing line, "board: N passed, M failed".
result=$(grep -aE '^board: [0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1 | tr -d '\r' || true)
if [ -z "$result" ]; then
  if [ "$status" -eq 124 ]; then
    echo "board $kernel: FAILED: no result within $time_limit s (hang)" >&2
  elif grep -aq 'Kernel panic' "$log"; then
    echo "board $kernel: FAILED: the kernel crashed (see $log)" >&2
  else
    echo "board $kernel: FAILED: the guest ended without a result (QEMU status $status, see $log)" >&2
  fi
  exit 1
fi
read -r passed failed < <(echo "$result" | sed -E 's/^board: ([0-9]+) passed, ([0-9]+) failed.*/\1 \2/')
if [ "$failed" -ne 0 ]; then
  echo "board $kernel: FAILED: $failed of $((passed + failed)) in-guest checks failed" >&2
  exit 1
fi
if [ "$passed" -lt "$min_checks" ]; then
  echo "board $kernel: FAILED: only $passed in-guest checks ran (at least $min_checks expected)" >&2
  exit 1
fi
echo "board $kernel: all $passed in-guest checks passed"
