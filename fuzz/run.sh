#!/bin/sh
# Runs every libFuzzer target of a build over its seed corpus for a bounded
# time and fails when one of them finds a crash.
#
#   fuzz/run.sh BUILD_DIR [SECONDS]     (SECONDS per target, default 30)
#
# FUZZ_JOBS (default 1) targets run at once, each on one core.
#
# Targets are the programs BUILD_DIR/bin/fuzz_* and BUILD_DIR/bin/*_fuzzer.
# A target's seeds are fuzz/*/corpus/<target>/ or, for NAME_fuzzer,
# fuzz/NAME/corpus/. New inputs go to a temporary directory, so the committed
# corpora stay as they are; a crashing input is kept and its path printed.
# KEEP_INPUTS=1 keeps the new inputs too (WORK/TARGET/new, WORK printed at the
# end), to be merged into the corpora.
set -u

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [SECONDS]" >&2
  exit 2
fi
build_dir=$1
seconds=${2:-30}
fuzz_dir=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vltfuzz.XXXXXX")

jobs=${FUZZ_JOBS:-1}

# One target: its summary (or its failure) goes to $work/NAME/summary, and
# $work/NAME/failed marks a crash.
run_target() {
  target=$1
  name=$(basename "$target")
  corpus=
  for dir in "$fuzz_dir"/*/corpus/"$name" "$fuzz_dir/${name%_fuzzer}/corpus"; do
    if [ -d "$dir" ]; then
      corpus=$dir
      break
    fi
  done
  out=$work/$name/summary
  echo "== $name for ${seconds}s${corpus:+ over $corpus}" > "$out"
  if "$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$work/$name/artifacts/" "$work/$name/new" ${corpus:+"$corpus"} \
      > "$work/$name/log" 2>&1; then
    # Executions, coverage (cov: edges, ft: features) and new inputs.
    grep -E "DONE .*cov:" "$work/$name/log" | tail -1 >> "$out"
    grep -E "^stat::number_of_executed_units|^stat::new_units_added" "$work/$name/log" >> "$out"
  else
    {
      echo "!! $name failed; log: $work/$name/log, inputs: $work/$name/artifacts/"
      tail -n 40 "$work/$name/log"
    } >> "$out"
    touch "$work/$name/failed"
  fi
}

status=0
count=0
batch=
for target in "$build_dir"/bin/fuzz_* "$build_dir"/bin/*_fuzzer; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  mkdir -p "$work/$name/new" "$work/$name/artifacts"
  count=$((count + 1))
  run_target "$target" &
  batch="$batch $name"
  if [ $((count % jobs)) -eq 0 ]; then
    wait
    for done_name in $batch; do cat "$work/$done_name/summary"; done
    batch=
  fi
done
wait
for done_name in $batch; do cat "$work/$done_name/summary"; done
for failed in "$work"/*/failed; do
  [ -e "$failed" ] || continue
  cat "$(dirname "$failed")/summary" >&2
  status=1
done

if [ "$count" -eq 0 ]; then
  echo "no fuzz targets in $build_dir/bin (configure with -DVLT_FUZZ=ON and clang)" >&2
  exit 2
fi
if [ "$status" -eq 0 ] && [ "${KEEP_INPUTS:-0}" != 1 ]; then
  rm -rf "$work"
else
  echo "inputs kept in $work"
fi
exit $status
