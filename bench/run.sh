#!/usr/bin/env bash
# Every benchmark of the project, in a fixed order, into one report:
#
#   bench/run.sh [--quick] [--no-samba] [--only NAME,...] [--compare OLD/report.json]
#                [BUILD_DIR] [OUT_DIR]
#
# BUILD_DIR defaults to build (configured with -DVLT_BENCH=ON and the tests,
# for the test extension); OUT_DIR to BUILD_DIR/bench-report. Writes
# OUT_DIR/report.md and OUT_DIR/report.json (each ratio with its rounds and
# spread; with --compare, beside an earlier report's) and each benchmark's
# output in OUT_DIR/<name>.log.
#
# Order: xml (tokenizer against pugixml), protocol (in-band answer against
# nginx), host (refusals against nginx), trace (trace points), accounts
# (account store against bare hashes), directory (slapd against
# ldappasswd), nds (NDS changes on slapd against a libldap client), samba
# (Samba over ldaps against a libldap client), kerberos (Samba over Kerberos
# against a libkrb5 client). The last two start the tests' Samba DC and take
# /tmp/vlt-samba.lock; --no-samba leaves them out, --only runs the named
# ones.
# The whole run holds /tmp/vlt-bench.lock, so that no two benchmarks run at
# once.
#
# Time: about 25 minutes in full (about half of it the HTTP cases: 5 rounds
# of 5 s per side each), about 7 minutes with --quick (3 rounds of 2 s, fewer
# changes), plus any wait for the locks. A benchmark that fails (a side
# answered something else than compared) is marked FAILED in the report and
# the script ends non-zero after running the others.
set -uo pipefail
export PYTHONUNBUFFERED=1

HERE="$(cd "$(dirname "$0")" && pwd)"
SRC="$(cd "$HERE/.." && pwd)"
QUICK=0
SAMBA=1
ONLY=""
COMPARE=""
POSITIONAL=()
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) QUICK=1 ;;
    --no-samba) SAMBA=0 ;;
    --only) ONLY=",$2,"; shift ;;
    --compare) COMPARE="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"; shift ;;
    -h|--help) sed -n '2,31p' "$0"; exit 0 ;;
    *) POSITIONAL+=("$1") ;;
  esac
  shift
done
BUILD="$(cd "${POSITIONAL[0]:-build}" && pwd)"
OUT="${POSITIONAL[1]:-$BUILD/bench-report}"
mkdir -p "$OUT"
OUT="$(cd "$OUT" && pwd)"
RESULTS="$OUT/results.jsonl"
: > "$RESULTS"
export BENCH_RESULTS="$RESULTS"

if [ "$QUICK" = 1 ]; then
  export ROUNDS=3 DURATION=2 MIN_TIME=0.1
  DIRECTORY_CHANGES=30 NDS_CHANGES=30 SAMBA_CHANGES=30 KERBEROS_CHANGES=15
else
  DIRECTORY_CHANGES=100 NDS_CHANGES=100 SAMBA_CHANGES=60 KERBEROS_CHANGES=30
fi

exec 9>/tmp/vlt-bench.lock
echo "waiting for /tmp/vlt-bench.lock..." >&2
flock 9

START=$(date +%s)
FAILURES=()
run() {  # NAME COMMAND...
  local name=$1
  shift
  if [ -n "$ONLY" ] && [[ "$ONLY" != *",$name,"* ]]; then return; fi
  echo "=== $name" >&2
  if "$@" 2>&1 | tee "$OUT/$name.log"; then
    :
  else
    FAILURES+=("$name")
    echo "=== $name FAILED" >&2
  fi
}

run xml "$HERE/xml/run.sh" "$BUILD"
run protocol "$HERE/protocol/run.sh" "$BUILD"
run host "$HERE/host/run.sh" "$BUILD"
run trace "$HERE/trace/run.sh" "$BUILD"
run accounts "$HERE/accounts/run.sh" "$BUILD"
run directory env CHANGES=$DIRECTORY_CHANGES ROUNDS=4 "$HERE/directory/run.sh" "$BUILD"
run nds env CHANGES=$NDS_CHANGES ROUNDS=${ROUNDS:-6} "$HERE/nds/run.sh" "$BUILD"
if [ "$SAMBA" = 1 ]; then
  run samba env CHANGES=$SAMBA_CHANGES ROUNDS=4 flock /tmp/vlt-samba.lock "$HERE/directory/samba_run.sh" "$BUILD"
  run kerberos env ROUNDS=3 flock /tmp/vlt-samba.lock "$HERE/accounts/kerberos_run.sh" "$BUILD" "$KERBEROS_CHANGES"
fi
END=$(date +%s)

python3 - "$OUT/meta.json" "$SRC" "$BUILD" "$((END - START))" "$QUICK" "${FAILURES[@]}" <<'PY'
import datetime, glob, json, os, subprocess, sys
path, src, build, seconds, quick = sys.argv[1:6]
failures = sys.argv[6:]
commit = subprocess.run(["git", "-C", src, "describe", "--always", "--dirty"], capture_output=True,
                        text=True).stdout.strip()
model = "unknown"
for line in open("/proc/cpuinfo"):
    if line.startswith("model name"):
        model = line.split(":", 1)[1].strip()
        break
notes = []
for log in sorted(glob.glob(os.path.join(os.path.dirname(path), "*.log"))):
    for line in open(log, errors="replace"):
        if "callgrind:" in line:
            notes.append("protocol " + line.strip())
json.dump({"commit": commit, "date": datetime.datetime.now().isoformat(timespec="seconds"),
           "build": build, "mode": "quick" if quick == "1" else "full", "duration_s": int(seconds),
           "processors": os.cpu_count(), "cpu_model": model, "failures": failures, "notes": notes},
          open(path, "w"))
PY
python3 "$HERE/lib/report.py" "$RESULTS" "$OUT" --meta "$OUT/meta.json" ${COMPARE:+--compare "$COMPARE"}
echo "report: $OUT/report.md, $OUT/report.json ($((END - START)) s)" >&2
cat "$OUT/report.md"
[ ${#FAILURES[@]} = 0 ]
