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
HOST_PID=""
NGINX_PID=""

cleanup() {
  [ -n "$HOST_PID" ] && kill "$HOST_PID" 2>/dev/null && wait "$HOST_PID" 2>/dev/null
  [ -n "$NGINX_PID" ] && kill -QUIT "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

for tool in wrk nginx python3; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is not installed" >&2; exit 1; }
done

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Starts vltadmin-host with the given extension arguments; sets HOST_PORT.
start_host() {
  "$BIN/vltadmin-host" --listen 127.0.0.1:0 --io-threads "$HOST_IO_THREADS" "$@" \
    >"$WORK/host.out" 2>"$WORK/host.err" &
  HOST_PID=$!
  for _ in $(seq 100); do
    if grep -q '^listening on ' "$WORK/host.out"; then
      HOST_PORT="$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$WORK/host.out")"
      return 0
    fi
    kill -0 "$HOST_PID" 2>/dev/null || { wait "$HOST_PID" || true; HOST_PID=""; return 1; }
    sleep 0.05
  done
  return 1
}

stop_host() {
  kill "$HOST_PID"; wait "$HOST_PID" || true; HOST_PID=""
}

# Starts nginx answering 405 on a free port; $1 = keepalive_timeout.
start_nginx() {
  NGINX_PORT="$(free_port)"
  mkdir -p "$WORK/nginx"
  cat >"$WORK/nginx/nginx.conf" <<CONF
daemon off;
worker_processes $NGINX_WORKERS;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $WORK/nginx/body;
  proxy_temp_path $WORK/nginx/proxy;
  fastcgi_temp_path $WORK/nginx/fastcgi;
  uwsgi_temp_path $WORK/nginx/uwsgi;
  scgi_temp_path $WORK/nginx/scgi;
  keepalive_requests 1000000;
  keepalive_timeout $1;
  server {
    listen 127.0.0.1:$NGINX_PORT reuseport;
    location / { return 405; }
  }
}
CONF
  nginx -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf" -e "$WORK/nginx/error.log" &
  NGINX_PID=$!
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$NGINX_PORT") 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

stop_nginx() {
  kill -QUIT "$NGINX_PID"; wait "$NGINX_PID" || true; NGINX_PID=""
}

# Runs wrk against URL; prints "requests/s p50 p99" (latencies in ms).
measure() {
  wrk -t2 -c64 -d"$DURATION" --latency -s "$HERE/post600.lua" "$1" >"$WORK/wrk.out" 2>&1
  awk '
    function ms(v) { if (v ~ /us$/) return v/1000; if (v ~ /ms$/) return v+0; if (v ~ /s$/) return v*1000; return v }
    /Requests\/sec:/ { rps = $2 }
    $1 == "50%" { p50 = ms($2) }
    $1 == "99%" { p99 = ms($2) }
    END { printf "%.0f %.3f %.3f\n", rps, p50, p99 }' "$WORK/wrk.out"
}

report() {  # name host-result nginx-result
  read -r hr h50 h99 <<<"$2"
  read -r nr n50 n99 <<<"$3"
  printf '%-11s vltadmin-host %8s req/s  p50 %7s ms  p99 %7s ms\n' "$1" "$hr" "$h50" "$h99"
  printf '%-11s nginx         %8s req/s  p50 %7s ms  p99 %7s ms\n' "" "$nr" "$n50" "$n99"
  awk -v h="$hr" -v n="$nr" 'BEGIN { if (n > 0) printf "%-11s ratio host/nginx requests/s: %.2f\n", "", h / n }'
}

echo "wrk -t2 -c64 -d$DURATION, 600-byte text/xml POST; host io threads $HOST_IO_THREADS, nginx workers $NGINX_WORKERS"

# Refusal: the real extension when it starts (with a registry of this run
# that points its install location at the shipped alias file), else the
# test extension.
SRC="$(cd "$HERE/../.." && pwd)"
registry_args=()
if [ -f "$SRC/data/vltxmlss.txt" ]; then
  mkdir -p "$WORK/root/System32"
  cp "$SRC/data/vltxmlss.txt" "$WORK/root/System32/"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install]\r\n"Location"="%s"\r\n' \
    "$WORK/root" >"$WORK/vltadmin.reg"
  registry_args=(--registry "$WORK/vltadmin.reg")
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
