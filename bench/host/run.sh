#!/usr/bin/env bash
# Requests/s and latency of vltadmin-host against nginx on loopback, both
# measured in this run with the same load: wrk -t2 -c64 -d10s POSTing a
# 600-byte text/xml body.
#
#   bench/host/run.sh [BUILD_DIR]       (default: build)
#
# Cases:
#   refusal     "405 method not supported" as a bare status reply, which
#               closes the connection (the real extension's refusal when it
#               starts, else the test extension's), against nginx
#               "return 405;" with keepalive_timeout 0.
#   keep-alive  the same status kept alive (test extension, Content-Length 0),
#               against nginx "return 405;" with keep-alive.
# nginx's 405 carries its ~157-byte HTML error page; the host's carries none.
#
# Environment: DURATION (10s), HOST_IO_THREADS (1), NGINX_WORKERS (1).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
BIN="$BUILD/bin"
DURATION="${DURATION:-10s}"
HOST_IO_THREADS="${HOST_IO_THREADS:-1}"
NGINX_WORKERS="${NGINX_WORKERS:-1}"
URL_PATH=/Scripts/vltadmin/vltadmin.dll
WORK="$(mktemp -d /tmp/vlt_bench_host.XXXXXX)"
cleanup() {
  cleanup_servers
  rm -rf "$WORK"
}
trap cleanup EXIT

. "$HERE/../lib/loopback.sh"
LOAD_SCRIPT="$HERE/post600.lua"

echo "wrk -t2 -c64 -d$DURATION, 600-byte text/xml POST; host io threads $HOST_IO_THREADS, nginx workers $NGINX_WORKERS"

# Refusal: the real extension when it starts (with a registry of this run
# that points its install location at the shipped alias file), else the
# test extension.
SRC="$(cd "$HERE/../.." && pwd)"
registry_args=()
if [ -f "$SRC/data/vltxmlss.txt" ]; then
  registry_args=(--registry "$(write_run_registry "$SRC")" --extension "$URL_PATH=$BIN/libvltadmin.so")
fi
if start_host "${registry_args[@]}" && curl -s -o /dev/null -X POST -H 'Content-Type: text/xml' --data '<x/>' \
     "http://127.0.0.1:$HOST_PORT$URL_PATH"; then
  which="real extension"
  refuse_url="http://127.0.0.1:$HOST_PORT$URL_PATH"
else
  [ -n "$HOST_PID" ] && stop_host
  which="test extension"
  start_host --extension "$URL_PATH=$BIN/libvlt_test_extension.so" || {
    echo "run.sh: vltadmin-host did not start:" >&2; cat "$WORK/host.err" >&2; exit 1; }
  refuse_url="http://127.0.0.1:$HOST_PORT$URL_PATH?mode=bare"
fi
echo "refusal served by the $which: $(curl -s -i -X POST -H 'Content-Type: text/xml' --data '<x/>' "$refuse_url" | head -1 | tr -d '\r')"
host_refusal="$(measure "$refuse_url")"
stop_host
start_nginx 0
nginx_refusal="$(measure "http://127.0.0.1:$NGINX_PORT$URL_PATH")"
stop_nginx
report refusal "$host_refusal" "$nginx_refusal"

# Keep-alive: the test extension's refusal that keeps the connection.
start_host --extension "$URL_PATH=$BIN/libvlt_test_extension.so"
host_keep="$(measure "http://127.0.0.1:$HOST_PORT$URL_PATH?mode=refuse-keep")"
stop_host
start_nginx 75s
nginx_keep="$(measure "http://127.0.0.1:$NGINX_PORT$URL_PATH")"
stop_nginx
report keep-alive "$host_keep" "$nginx_keep"
