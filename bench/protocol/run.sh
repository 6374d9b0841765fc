#!/usr/bin/env bash
# A well-formed change-password request answered in-band without a back end
# ("operation-failed"), through vltadmin-host with the real extension,
# against nginx returning a body of the same size from a `return` directive;
# 64 keep-alive connections from wrk, both in this run. Then the instruction
# count of Dispatch for that request under callgrind (stable from run to run).
#
#   bench/protocol/run.sh [BUILD_DIR]      (default: build)
#
# Environment: DURATION (10s), HOST_IO_THREADS (1), NGINX_WORKERS (1).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
SRC="$(cd "$HERE/../.." && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
BIN="$BUILD/bin"
DURATION="${DURATION:-10s}"
HOST_IO_THREADS="${HOST_IO_THREADS:-1}"
NGINX_WORKERS="${NGINX_WORKERS:-1}"
URL_PATH=/Scripts/vltadmin/vltadmin.dll
WORK="$(mktemp -d /tmp/vlt_bench_protocol.XXXXXX)"
cleanup() {
  cleanup_servers
  rm -rf "$WORK"
}
trap cleanup EXIT

. "$HERE/../lib/loopback.sh"
LOAD_SCRIPT="$HERE/change600.lua"

start_host --registry "$(write_run_registry "$SRC")" --extension "$URL_PATH=$BIN/libvltadmin.so" || {
  echo "run.sh: vltadmin-host did not start:" >&2; cat "$WORK/host.err" >&2; exit 1; }
url="http://127.0.0.1:$HOST_PORT$URL_PATH"
sed -n '/^wrk.body = \[\[/,/^\]\]/p' "$LOAD_SCRIPT" | sed '1s/^wrk.body = \[\[//; $d' >"$WORK/request.xml"
curl -s -o "$WORK/answer.xml" -X POST -H 'Content-Type: text/xml' --data-binary @"$WORK/request.xml" "$url"
echo "answer: $(wc -c <"$WORK/answer.xml") bytes, $(grep -o '<ErrorId>[^<]*' "$WORK/answer.xml" | sed 's/<ErrorId>//')"
echo "wrk -t2 -c64 -d$DURATION; host io threads $HOST_IO_THREADS, nginx workers $NGINX_WORKERS"
host_result="$(measure "$url")"
stop_host

# nginx answers the same bytes (the body escaped for its config).
escaped="$(sed "s/'/\\\\'/g" "$WORK/answer.xml")"
start_nginx 75s "default_type text/xml; return 200 '$escaped\n';"
nginx_result="$(measure "http://127.0.0.1:$NGINX_PORT$URL_PATH")"
stop_nginx
report in-band "$host_result" "$nginx_result"

# Instructions per Dispatch: the difference between 2000 and 1000 requests
# cancels the start-up cost.
if command -v valgrind >/dev/null; then
  count() {
    valgrind --tool=callgrind --callgrind-out-file="$WORK/cg.$1" "$BIN/dispatch_bench" --count "$1" 2>&1 |
      sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
  }
  i1="$(count 1000)"
  i2="$(count 2000)"
  echo "callgrind: $(( (i2 - i1) / 1000 )) instructions per Dispatch (${i1} for 1000, ${i2} for 2000)"
fi
