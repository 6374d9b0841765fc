#!/usr/bin/env bash
# Line coverage of dozuzudi/ and tools/ by the whole test suite (gcc --coverage,
# gcovr): builds a coverage tree, runs every test once and prints the total
# and the figure of each folder.
#   scripts/coverage.sh [DIR] [--html] [--no-run]
# DIR defaults to build-cov; --html also writes DIR/coverage/index.html;
# --no-run reports on the counts of the previous run.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-cov
html=0
run=1
for arg in "$@"; do
  case $arg in
    --html) html=1 ;;
    --no-run) run=0 ;;
    -*) echo "usage: $0 [DIR] [--html] [--no-run]" >&2; exit 2 ;;
    *) dir=$arg ;;
  esac
done
command -v gcovr >/dev/null || { echo "gcovr is missing (scripts/install-deps.sh)" >&2; exit 2; }

if [ "$run" -eq 1 ]; then
  launcher=()
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S . -B "$dir" -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
    -DVLT_BENCH=OFF -DVLT_FUZZ=OFF >/dev/null
  ninja -C "$dir" -j"$(nproc)"
  find "$dir" -name '*.gcda' -delete
  # The Samba DC of the tests binds fixed ports: one suite at a time per machine.
  (cd "$dir" && flock /tmp/vlt-samba.lock ctest -j"$(nproc)" --output-on-failure) || status=$?
  [ "${status:-0}" -eq 0 ] || echo "coverage: some tests failed (exit ${status}); figures follow" >&2
fi

out=$dir/coverage
mkdir -p "$out"
# Counters of threaded code updated without atomics can read negative on
# branch lines; such lines are passed over (they are not line counts).
filters=(--root . --filter 'dozuzudi/' --filter 'tools/' --gcov-ignore-parse-errors)
reports=(--json-summary "$out/summary.json" --json "$out/lines.json")
[ "$html" -eq 1 ] && reports+=(--html-details "$out/index.html")
gcovr "${filters[@]}" --object-directory "$dir" "${reports[@]}" "$dir" >"$out/gcovr.log" 2>&1
python3 - "$out/summary.json" <<'EOF'
import json, sys
files = json.load(open(sys.argv[1]))["files"]
def folder(name):
    parts = name.split("/")
    # dozuzudi/admin/host/x.cc -> dozuzudi/admin/host; tools/vltqtr/x.cc -> tools/vltqtr
    depth = 3 if parts[0] == "dozuzudi" and parts[1] in ("admin", "platform", "plugins") else 2
    return "/".join(parts[:min(depth, len(parts) - 1)])
rows = {}
for f in files:
    name = f["filename"]
    for key in {folder(name), "/".join(name.split("/")[:2])}:
        c, t = rows.get(key, (0, 0))
        rows[key] = (c + f["line_covered"], t + f["line_total"])
cov = sum(f["line_covered"] for f in files)
tot = sum(f["line_total"] for f in files)
for key in sorted(rows):
    c, t = rows[key]
    print(f"{key:40} {c:6}/{t:<6} {100.0 * c / t:5.1f}%")
print(f"{'TOTAL (dozuzudi + tools)':40} {cov:6}/{tot:<6} {100.0 * cov / tot:5.1f}%")
EOF
[ "$html" -eq 1 ] && echo "HTML: $out/index.html"
exit "${status:-0}"
