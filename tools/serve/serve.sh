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
# The port file is global (/tmp/viscaport.txt for the gateway). What it held
# is kept in DIR; a simulator running there (another run's) is named, and
# gets the file back when this one stops. A file that this run did not
# write (a later run's) is left as it is. The servers are killed with the
# shell that started them, however it ends (PR_SET_PDEATHSIG).

serve_conf_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
serve_conf=$serve_conf_dir/lighttpd.conf
serve_sim_pid=
serve_lighttpd_pid=
serve_port_file=
serve_saved_port=
serve_own_port=

serve_prepare() {
  local dir=$1
  shift
  mkdir -p "$dir/htdocs" "$dir/gateway/cgi-bin"
  install -m 0755 "$@" "$dir/gateway/"
}

# serve_read FILE: the content of FILE when it is a regular file, read
# through one open that neither follows a link nor waits for a FIFO's
# writer (a test and a copy could be raced).
serve_read() {
  perl -MFcntl -e 'sysopen(my $f, $ARGV[0], O_RDONLY | O_NOFOLLOW | O_NONBLOCK) or exit 1;
    -f $f or exit 1; defined(sysread($f, my $d, 65536)) or exit 1; print $d' "$1"
}

# serve_port_live FILE: FILE holds a port (two bytes, low first) that a
# socket on 127.0.0.1 holds, as a running simulator does; echoes it.
serve_port_live() {
  perl -MIO::Socket::INET -e 'read(STDIN, my $d, 3) == 2 or exit 1; my $p = unpack("v", $d);
    $p and not IO::Socket::INET->new(LocalAddr => "127.0.0.1", LocalPort => $p, Proto => "udp")
    or exit 1; print $p' <"$1"
}

# Starts visca_sim on a free port and waits until it has written its port.
serve_start_sim() {
  local dir=$1 port_file=$2 live
  shift 2
  serve_port_file=$port_file
  serve_own_port=$dir/viscaport.own
  if serve_read "$port_file" >"$dir/viscaport.saved"; then
    serve_saved_port=$dir/viscaport.saved
    if live=$(serve_port_live "$serve_saved_port"); then
      echo "serve: $port_file names a simulator running on UDP port $live (another run's);" \
        "its gateway now talks to this one's simulator, and gets its own back when this one stops" >&2
    fi
  fi
  rm -f "$port_file"
  setpriv --pdeathsig KILL "$SERVE_SIM" --port 0 --port-file "$port_file" "$@" &
  serve_sim_pid=$!
  local i
  for i in $(seq 100); do
    [ -s "$port_file" ] && serve_read "$port_file" >"$serve_own_port" && return 0
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
  setpriv --pdeathsig KILL lighttpd -D -f "$serve_conf" &
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
  # Only the file this run's simulator wrote is taken back, or its place
  # when it wrote none: a simulator that did not start loses nothing.
  if [ -n "$serve_port_file" ] && { ! [ -e "$serve_port_file" ] && ! [ -L "$serve_port_file" ] ||
      serve_read "$serve_port_file" 2>/dev/null | cmp -s - "$serve_own_port"; }; then
    if [ -n "$serve_saved_port" ] && serve_port_live "$serve_saved_port" >/dev/null; then
      # Renamed into place: whatever stands there now is replaced, never
      # opened (a FIFO would block, a link would be written through).
      mv -fT "$serve_saved_port" "$serve_port_file" || true
    else
      rm -f "$serve_port_file"
    fi
  fi
  serve_port_file=
}
