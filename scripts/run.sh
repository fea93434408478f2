#!/usr/bin/env bash
# Serves the gateway like the camera does: builds ptz_cgi and the VISCA head
# simulator, starts the simulator and lighttpd on 127.0.0.1, and prints the
# URL with example requests. Ctrl-C stops both and puts /tmp/viscaport.txt
# back as it was when it named a running simulator (which it says), and
# leaves a later run's alone. Whatever it starts ends with it, a SIGKILL too.
#
#   usage: scripts/run.sh [--board [--kernel 6.1|4.9]] [--port N] [--once] [--timeout SECONDS]
#                         [--no-login] [-- visca_sim options]
#     --board        serve from the virtual ARMv7 camera instead: the board's
#                    root as the install rules make it, booted under QEMU,
#                    its port 80 forwarded from 127.0.0.1:N; Ctrl-C powers
#                    it off (--kernel: Debian's 6.1 armmp, default, or the
#                    4.9 debug kernel)
#     --port N       HTTP port on 127.0.0.1 (default 8080)
#     --once         send the example requests, show the answers, and stop
#     --timeout S    stop by itself after S seconds
#     --no-login     on the host, serve without the login (user admin, a
#                    password made for the run and printed), for a bench
#   Options after -- go to the simulator, e.g. -- --mode silent or --delay 500.
#   PTZ_CGI_BIN and VISCA_SIM_BIN, when both set, name built programs to
#   serve on the host instead of building them.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

port=8080
once=
board=
kernel=6.1
timeout=
login=1
sim_args=()
usage() { sed -n '2,/^set -e/{/^#/s/^# \{0,1\}//p}' "$0" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    --port|--timeout) [[ ${2:-} =~ ^[0-9]+$ ]] || usage ;;&
    --port) port=$2; shift 2 ;;
    --once) once=1; shift ;;
    --board) board=1; shift ;;
    --kernel) [[ ${2:-} =~ ^(6\.1|4\.9)$ ]] || usage; kernel=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --no-login) login=; shift ;;
    --) shift; sim_args=("$@"); break ;;
    *) usage ;;
  esac
done

url=http://127.0.0.1:$port/cgi-bin/ptz_cgi
examples=(
  'cmd=%23PTS9950&res=1'   # pan right at speed 17
  'cmd=%23PTS5050&res=1'   # stop, repeating the stored speeds
  'cmd=%23Z75&res=1'       # zoom tele
  'cmd=%23Z50&res=1'       # zoom stop
  'cmd=%23APC80008000&res=1' # home
  'cmd=%23APC&res=1'       # pan/tilt position query
  'cmd=%23GZ&res=1'        # zoom position query
)

credentials=   # USER:PASSWORD, empty without a login

# Prints the URL, the login and the example requests.
announce() {
  echo
  echo "The PTZ gateway is served at $url"
  echo "$1"
  echo "Control page (pan, tilt, zoom from a browser): http://127.0.0.1:$port/"
  [ -z "$credentials" ] || echo "Login (Digest): user ${credentials%%:*}, password ${credentials#*:}"
  echo "Try:"
  local q
  for q in "${examples[@]}"; do
    # shellcheck disable=SC2016 # the quotes are printed for the user
    echo "  curl ${credentials:+--digest -u '$credentials' }'$url?$q'"
  done
  echo
}

# Sends the example requests and shows the answers.
send_examples() {
  local q
  for q in "${examples[@]}"; do
    echo "--- GET ?$q"
    curl -sS --max-time 10 ${credentials:+--digest -u "$credentials"} "$url?$q" | sed -n l
    sleep 0.2
  done
}

if [ -n "$board" ]; then
  [ -n "$login" ] || { echo "run: the camera always serves with its login" >&2; exit 2; }
  bash scripts/setup.sh
  bash board/camera/build.sh --kernel "$kernel"
  # shellcheck source=board/camera/boot.sh
  . board/camera/boot.sh
  log=$top/build/board/$kernel/camera-console.log
  # Runs to the end on every way out: the guest is powered off, not killed.
  # shellcheck disable=SC2317 # called by the trap
  board_cleanup() {
    local rc=$?
    trap - INT TERM HUP EXIT
    set +e
    [ -z "${tailer:-}" ] || kill "$tailer" 2>/dev/null
    if [ -n "$camera_qemu_pid" ]; then
      echo "run: powering the camera off"
      camera_poweroff 60 || rc=1
    fi
    exit "$rc"
  }
  trap board_cleanup EXIT
  trap 'echo; echo "stopping"; exit 0' INT TERM HUP
  echo "run: booting the $kernel camera (console: $log)"
  camera_boot "$kernel" "$port" "$log"
  started=$SECONDS
  camera_wait_ready 240
  ready=$(grep -a '^camera: ready: ' "$log" | tr -d '\r' | sed 's/^camera: ready: //')
  # The password the camera made at its first boot, shown on its console.
  credentials=$(grep -a '^camera: login: ' "$log" | tr -d '\r' | sed 's/^camera: login: //')
  [ -n "$credentials" ] || { echo "run: the camera shows no login" >&2; exit 1; }
  ctl() { curl -sS --max-time 20 --digest -u "$credentials" "http://127.0.0.1:$port/board/ctl?$1"; }
  if [ ${#sim_args[@]} -gt 0 ]; then
    ctl_args=$(IFS=+; echo "${sim_args[*]}")
    ctl "sim+$ctl_args"
  fi
  announce "from the ARMv7 guest ($ready; first answer $((SECONDS - started)) s after boot)"
  if [ -n "$once" ]; then
    send_examples
    echo "--- speed memory: $(ctl memory)"
    echo "--- the simulator's packet log in the guest:"
    ctl log
    exit 0
  fi
  echo "The simulator's packet log in the guest follows. Ctrl-C powers the camera off."
  # Ends within a second of this script, however it ends.
  tail --pid=$$ -n +1 -f "$log" | sed -u -n '/^camera: ready/,$ { /^camera: ready/d; p }' &
  tailer=$!
  deadline=$(( ${timeout:-0} > 0 ? SECONDS + timeout : 0 ))
  while camera_running; do
    [ "$deadline" -eq 0 ] || [ "$SECONDS" -lt "$deadline" ] || exit 0
    sleep 0.5
  done
  echo "run: the camera stopped unexpectedly" >&2
  exit 1
fi

cgi=${PTZ_CGI_BIN:-}
SERVE_SIM=${VISCA_SIM_BIN:-}
if [ -z "$cgi" ] || [ -z "$SERVE_SIM" ]; then
  bash scripts/setup.sh
  cmake --preset default >/dev/null
  cmake --build --preset default -j2 --target ptz_cgi visca_sim >/dev/null
  cgi=build/default/cgi/ptz_cgi
  SERVE_SIM=$top/build/default/tools/visca_sim
fi
# shellcheck source=../tools/serve/serve.sh
. tools/serve/serve.sh

work=$(mktemp -d /tmp/ptz_serve.XXXXXX)
# Runs to the end on every way out, failures included.
cleanup() {
  local rc=$?
  trap - INT TERM HUP EXIT
  set +e
  serve_stop
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT
trap 'echo; echo "stopping"; exit 0' INT TERM HUP

serve_prepare "$work" "$cgi"
install -m 0644 web/index.html "$work/htdocs/"
if [ -n "$login" ]; then
  credentials=admin:$(sh dist/ptz-passwd -f "$work/users.htdigest" --generate admin)
else
  export PTZ_SERVE_LOGIN=/dev/null
fi
serve_start_sim "$work" /tmp/viscaport.txt "${sim_args[@]}"
serve_start_lighttpd "$work" "$port"

announce "(working directory $work/gateway; speed memory in its cgi-bin/vv_ww.config)"
if [ -n "$once" ]; then
  send_examples
  echo "--- speed memory: $(cat "$work/gateway/cgi-bin/vv_ww.config")"
  exit 0
fi

echo "Each packet the simulator handles is logged below. Ctrl-C stops."
setpriv --pdeathsig KILL sleep "${timeout:-infinity}" &
timer=$!
# Ends when the timer runs out or either server dies.
wait -n "$timer" "$serve_lighttpd_pid" "$serve_sim_pid" || true
kill "$timer" 2>/dev/null || true
for pid in "$serve_lighttpd_pid" "$serve_sim_pid"; do
  kill -0 "$pid" 2>/dev/null || { echo "run: a server stopped unexpectedly" >&2; exit 1; }
done
