#!/usr/bin/env bash
# vltadmin-host against nginx on loopback, the same wrk load on both in
# alternating rounds (wrk -t2 -c64 POSTing a 600-byte text/xml body):
#
#   refusal, close       the real extension's bare "405 method not supported"
#                        (a RequestGroup document), which closes the
#                        connection, against nginx "return 405;" with
#                        keepalive_timeout 0;
#   refusal, keep-alive  the test extension's 405 with Content-Length 0, kept
#                        alive, against nginx "return 405;" kept alive.
#
# nginx's 405 carries its HTML error page; the host's carries no body. Each
# side's response is checked before the rounds and its size and status under
# the load in every round; see bench/lib/http_load.py.
#
#   bench/host/run.sh [BUILD_DIR]       (default: build)
#
# Environment: ROUNDS (5), DURATION (5 s per run), CONNECTIONS (64),
# HOST_IO_THREADS (1), NGINX_WORKERS (1), TEST_EXTENSION (the test extension
# of BUILD_DIR).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
SRC="$(cd "$HERE/../.." && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
TEST_EXTENSION="${TEST_EXTENSION:-$BUILD/bin/libvlt_test_extension.so}"
URL_PATH=/Scripts/vltadmin/vltadmin.dll
WORK="$(mktemp -d /tmp/vlt_bench_host.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
. "$HERE/../lib/run_registry.sh"
registry="$(write_run_registry "$SRC" "$WORK")"

python3 "$HERE/../lib/http_load.py" --build "$BUILD" --bench host --name "refusal, close" \
  --body "$HERE/refused_request.xml" --keep no --expect-status 405 \
  --host-arg=--registry --host-arg="$registry" --nginx-location "return 405;"

[ -f "$TEST_EXTENSION" ] || { echo "run.sh: no test extension at $TEST_EXTENSION" >&2; exit 1; }
python3 "$HERE/../lib/http_load.py" --build "$BUILD" --bench host --name "refusal, keep-alive" \
  --body "$HERE/refused_request.xml" --keep yes --expect-status 405 \
  --host-arg=--extension --host-arg="$URL_PATH=$TEST_EXTENSION" \
  --host-path "$URL_PATH?mode=refuse-keep" --nginx-location "return 405;"
