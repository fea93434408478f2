# Shell helpers that bring up the served gateway: the VISCA head simulator
# and lighttpd on 127.0.0.1. Sourced by scripts/run.sh and bench/serve.sh.
#
#   serve_prepare DIR PROGRAM...   lay out DIR and install the CGI programs
#   serve_start_sim DIR PORT_FILE [visca_sim options]
#   serve_start_lighttpd DIR PORT
#   serve_stop                     stop what was started, put the port file back
#
# lighttpd asks for the camera's login (dist/lighttpd/40-ptz-login.conf; the
# users in DIR/users.htdigest, dist/ptz-passwd writes them) unless
# PTZ_SERVE_LOGIN names another file (/dev/null: none);
# PTZ_SERVE_CONTROLLERS is the regular expression of the addresses that need
# no login (default none).
#
# The port file is global (/tmp/viscaport.txt for the gateway): its previous
# content is kept in DIR and restored by serve_stop.

serve_conf_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
serve_conf=$serve_conf_dir/lighttpd.conf
serve_sim_pid=
serve_lighttpd_pid=
serve_port_file=
serve_saved_port=

serve_prepare() {
  local dir=$1
  shift
  mkdir -p "$dir/htdocs" "$dir/gateway/cgi-bin"
  install -m 0755 "$@" "$dir/gateway/"
}

# Starts visca_sim on a free port and waits until it has written its port.
serve_start_sim() {
  local dir=$1 port_file=$2
  shift 2
  serve_port_file=$port_file
  # Only a regular file is kept, read through one open that neither follows
  # a link nor waits for a FIFO's writer (a test and a copy could be raced).
  if perl -MFcntl -e 'sysopen(my $f, $ARGV[0], O_RDONLY | O_NOFOLLOW | O_NONBLOCK) or exit 1;
      -f $f or exit 1; defined(sysread($f, my $d, 65536)) or exit 1; print $d' \
      "$port_file" >"$dir/viscaport.saved"; then
    serve_saved_port=$dir/viscaport.saved
  fi
  rm -f "$port_file"
  "$SERVE_SIM" --port 0 --port-file "$port_file" "$@" &
  serve_sim_pid=$!
  local i
  for i in $(seq 100); do
    [ -s "$port_file" ] && return 0
    kill -0 "$serve_sim_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "serve: the VISCA simulator did not start" >&2
  return 1
}

# Starts lighttpd in the foreground of a background job and waits until it
# accepts connections. A port that something else already holds is refused
# first: lighttpd would fail to bind, and whatever holds the port would
# answer in its place.
serve_start_lighttpd() {
  local dir=$1 port=$2
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "serve: 127.0.0.1:$port is already taken" >&2
    return 1
  fi
  export PTZ_SERVE_DIR=$dir PTZ_SERVE_PORT=$port
  export PTZ_SERVE_LOGIN=${PTZ_SERVE_LOGIN:-$serve_conf_dir/../../dist/lighttpd/40-ptz-login.conf}
  export PTZ_SERVE_CONTROLLERS=${PTZ_SERVE_CONTROLLERS:-^\$}
  lighttpd -tt -f "$serve_conf" || return 1
  lighttpd -D -f "$serve_conf" &
  serve_lighttpd_pid=$!
  local i
  for i in $(seq 100); do
    kill -0 "$serve_lighttpd_pid" 2>/dev/null || break
    curl -s -o /dev/null "http://127.0.0.1:$port/" && return 0
    sleep 0.05
  done
  echo "serve: lighttpd did not start on 127.0.0.1:$port; its log:" >&2
  cat "$dir/lighttpd.log" >&2 2>/dev/null
  return 1
}

# Runs to the end whatever is left to stop, also under set -e.
serve_stop() {
  local pid
  for pid in $serve_lighttpd_pid $serve_sim_pid; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in $serve_lighttpd_pid $serve_sim_pid; do
    wait "$pid" 2>/dev/null || true
  done
  serve_lighttpd_pid=
  serve_sim_pid=
  if [ -n "$serve_port_file" ]; then
    if [ -n "$serve_saved_port" ]; then
      # Renamed into place: whatever stands there now is replaced, never
      # opened (a FIFO would block, a link would be written through).
      mv -fT "$serve_saved_port" "$serve_port_file" || true
    else
      rm -f "$serve_port_file"
    fi
    serve_port_file=
  fi
}
