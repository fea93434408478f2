#!/usr/bin/env bash
# Builds ptz_cgi and serves example requests to a VISCA test server on
# 127.0.0.1, showing what the controller gets and what the camera side
# receives. The port file /tmp/viscaport.txt is put back as it was.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target ptz_cgi visca_test_server
bin=$top/build/default/cgi

work=$(mktemp -d)
port_file=/tmp/viscaport.txt
saved=
if [ -e "$port_file" ]; then
  saved=$work/viscaport.saved
  cp -p "$port_file" "$saved"
fi
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  if [ -n "$saved" ]; then cp -p "$saved" "$port_file"; else rm -f "$port_file"; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The web server starts the CGI in the directory that holds cgi-bin/.
mkdir "$work/www" "$work/www/cgi-bin"
rm -f "$port_file"
"$bin/visca_test_server" normal --port-file "$port_file" >"$work/server.log" &
server_pid=$!
for _ in $(seq 50); do [ -s "$port_file" ] && break; sleep 0.1; done
head -n1 "$work/server.log"

serve() {
  echo
  echo "--- GET ?$1"
  (cd "$work/www" && REQUEST_METHOD=GET QUERY_STRING=$1 "$bin/ptz_cgi" | sed -n l) || true
  echo
}
serve 'cmd=%23PTS9950&res=1'
serve 'cmd=%23PTS5050&res=1'
serve 'cmd=%23Z75&res=1'
serve 'cmd=%23APC&res=1'
echo
echo "--- speed memory cgi-bin/vv_ww.config: $(cat "$work/www/cgi-bin/vv_ww.config")"
echo "--- datagrams the VISCA server received:"
sleep 0.2
tail -n +2 "$work/server.log"
