# Shared pieces of the loopback load benchmarks: vltadmin-host and nginx
# started on free loopback ports in a work directory, wrk as the load, and
# the report of both beside each other. Sourced by bench/*/run.sh, which set
# BIN, WORK, DURATION, HOST_IO_THREADS, NGINX_WORKERS and LOAD_SCRIPT, and
# call cleanup_servers from their EXIT trap.

HOST_PID=""
NGINX_PID=""

cleanup_servers() {
  [ -n "$HOST_PID" ] && kill "$HOST_PID" 2>/dev/null && wait "$HOST_PID" 2>/dev/null
  [ -n "$NGINX_PID" ] && kill -QUIT "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null
  return 0
}

for tool in wrk nginx python3 curl; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is not installed" >&2; exit 1; }
done

# A registry of this run whose install location holds the shipped alias
# file, so the real extension starts; prints the registry's path.
write_run_registry() {
  local src="$1"
  mkdir -p "$WORK/root/System32"
  cp "$src/data/vltxmlss.txt" "$WORK/root/System32/"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install]\r\n"Location"="%s"\r\n' \
    "$WORK/root" >"$WORK/vltadmin.reg"
  echo "$WORK/vltadmin.reg"
}

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

# Starts nginx on a free port; $1 = keepalive_timeout, $2 = the location
# block's directives (default "return 405;").
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
    location / { ${2:-return 405;} }
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

# Runs wrk against URL $1 with the Lua script $2 (default $LOAD_SCRIPT);
# prints "requests/s p50 p99" (latencies in ms).
measure() {
  wrk -t2 -c64 -d"$DURATION" --latency -s "${2:-$LOAD_SCRIPT}" "$1" >"$WORK/wrk.out" 2>&1
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

