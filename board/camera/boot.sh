# shellcheck shell=bash
# Boots the virtual camera under QEMU and talks to it: sourced by
# scripts/run.sh --board, the camera test stages and the guest benchmark.
#
#   camera_boot KERNEL PORT LOG [KERNEL ARGS...]
#       boots build/board/KERNEL/camera.cpio.gz in the background, the guest's
#       port 80 forwarded from 127.0.0.1:PORT, the console written to LOG
#   camera_wait_ready SECONDS
#       waits for "camera: ready" and the gateway's first answer
#   camera_poweroff SECONDS
#       asks the guest to power off through its console and waits; a guest
#       that does not is killed. Fails unless the guest's closing line says
#       that every check passed.
#   camera_kill        stops QEMU at once (a trap's last resort)
#
# QEMU runs in a session of its own: Ctrl-C in the terminal reaches the
# caller, which powers the guest off, and not the emulator; the emulator is
# killed with its caller all the same, a SIGKILL too. Its console input
# is a FIFO held open here. User-mode networking with restrict=on: the guest
# reaches nothing outside the emulator, and only 127.0.0.1:PORT listens.

camera_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
camera_qemu_pid=
camera_console=
camera_log=
camera_port=

camera_boot() {
  local kernel=$1 port=$2 log=$3
  shift 3
  # shellcheck source=/dev/null
  . "${KCACHE:-/var/cache/ptzcam-kernel}/env.sh"
  # shellcheck source=board/kernels.sh
  . "$camera_here/../kernels.sh"
  # shellcheck source=board/machine.sh
  . "$camera_here/../machine.sh"
  board_kernel "$kernel" || return 1
  local common=${BOARD_OUT:-$camera_here/../../build/board}
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "camera: 127.0.0.1:$port is already taken" >&2
    return 1
  fi
  camera_log=$log
  camera_port=$port
  camera_console=$(mktemp -u /tmp/camera-console.XXXXXX)
  mkfifo -m 0600 "$camera_console"
  local machine=()
  local a
  for a in "${BOARD_MACHINE[@]}"; do
    [ "$a" = -nic ] || [ "$a" = none ] || machine+=("$a")
  done
  setsid setpriv --pdeathsig KILL qemu-system-arm "${machine[@]}" \
    -netdev "user,id=n0,restrict=on,hostfwd=tcp:127.0.0.1:$port-:80" \
    -device virtio-net-device,netdev=n0 \
    -kernel "$BOARD_KIMAGE" -dtb "$common/board.dtb" -initrd "$common/$kernel/camera.cpio.gz" \
    -append "console=ttyAMA0 panic=-1 oops=panic loglevel=1 $BOARD_CMDLINE $*" \
    <"$camera_console" >"$log" 2>&1 &
  camera_qemu_pid=$!
  exec {camera_console_fd}>"$camera_console"
  rm -f "$camera_console"
}

camera_running() { [ -n "$camera_qemu_pid" ] && kill -0 "$camera_qemu_pid" 2>/dev/null; }

camera_wait_ready() {
  local limit=$1 start=$SECONDS
  while [ $((SECONDS - start)) -lt "$limit" ]; do
    if ! camera_running; then
      echo "camera: the guest stopped before it was ready (console: $camera_log)" >&2
      tail -n 20 "$camera_log" >&2
      return 1
    fi
    if grep -aq '^camera: ready' "$camera_log" &&
        curl -s -o /dev/null --max-time 5 "http://127.0.0.1:$camera_port/cgi-bin/ptz_cgi"; then
      return 0
    fi
    sleep 0.2
  done
  echo "camera: not ready within $limit s (console: $camera_log)" >&2
  tail -n 20 "$camera_log" >&2
  return 1
}

camera_poweroff() {
  local limit=$1 start=$SECONDS
  if camera_running; then
    { echo poweroff >&"$camera_console_fd"; } 2>/dev/null || true
    while camera_running && [ $((SECONDS - start)) -lt "$limit" ]; do sleep 0.2; done
  fi
  camera_kill
  local result
  result=$(grep -aE '^camera: [0-9]+ passed, [0-9]+ failed' "$camera_log" | tail -n 1 | tr -d '\r')
  if [ -z "$result" ]; then
    echo "camera: the guest did not power off cleanly within $limit s (console: $camera_log)" >&2
    return 1
  fi
  [[ $result == *" 0 failed" ]] || { grep -a '^FAIL' "$camera_log" >&2; return 1; }
}

camera_kill() {
  if camera_running; then
    kill "$camera_qemu_pid" 2>/dev/null
    wait "$camera_qemu_pid" 2>/dev/null
  fi
  camera_qemu_pid=
  [ -z "${camera_console_fd:-}" ] || exec {camera_console_fd}>&-
  camera_console_fd=
}
