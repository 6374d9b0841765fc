#!/usr/bin/env bash
# A well-formed change-password request answered in-band without a back end
# ("operation-failed"), through vltadmin-host with the real extension,
# against nginx returning the same body bytes from a `return` directive; 64
# keep-alive connections from wrk, alternating rounds (bench/lib/http_load.py
# checks both answers first and their sizes and statuses in every round).
# Then the instruction count of Dispatch for that request under callgrind
# (stable from run to run).
#
#   bench/protocol/run.sh [BUILD_DIR]      (default: build)
#
# Environment: ROUNDS (5), DURATION (5 s per run), CONNECTIONS (64),
# HOST_IO_THREADS (1), NGINX_WORKERS (1).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
SRC="$(cd "$HERE/../.." && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
WORK="$(mktemp -d /tmp/vlt_bench_protocol.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
. "$HERE/../lib/run_registry.sh"
registry="$(write_run_registry "$SRC" "$WORK")"

python3 "$HERE/../lib/http_load.py" --build "$BUILD" --bench protocol --name "in-band answer, keep-alive" \
  --body "$HERE/change_request.xml" --keep yes --expect-status 200 --compare-body \
  --host-arg=--registry --host-arg="$registry"

# Instructions per Dispatch: the difference between 2000 and 1000 requests
# cancels the start-up cost.
if command -v valgrind >/dev/null && [ -x "$BUILD/bin/dispatch_bench" ]; then
  count() {
    valgrind --tool=callgrind --callgrind-out-file="$WORK/cg.$1" "$BUILD/bin/dispatch_bench" --count "$1" 2>&1 |
      sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
  }
  i1="$(count 1000)"
  i2="$(count 2000)"
  echo "  callgrind: $(( (i2 - i1) / 1000 )) instructions per Dispatch (${i1} for 1000, ${i2} for 2000)"
fi
