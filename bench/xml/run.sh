#!/bin/sh
# Runs the XML benchmark and prints MB/s per document with each parser's
# ratio to pugixml, from the medians of several repetitions of one run.
#
#   bench/xml/run.sh BUILD_DIR [REPETITIONS]    (default 5)
set -eu
build_dir=${1:?usage: $0 BUILD_DIR [REPETITIONS]}
repetitions=${2:-5}
json=$(mktemp "${TMPDIR:-/tmp}/xml_bench.XXXXXX.json")
trap 'rm -f "$json"' EXIT
"$build_dir/bin/xml_bench" --benchmark_repetitions="$repetitions" \
  --benchmark_report_aggregates_only=true --benchmark_format=json --benchmark_out="$json" \
  --benchmark_out_format=json > /dev/null
python3 - "$json" "$repetitions" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
medians = {}
for r in runs:
    if r.get("aggregate_name") != "median":
        continue
    parser, doc = r["run_name"].split("/", 1)
    medians[(parser, doc)] = r["bytes_per_second"] / 1e6
docs = sorted({d for _, d in medians})
parsers = ["CXMLParser", "pugixml", "expat"]
print("%-20s" % "document" + "".join("%14s %8s" % (p + " MB/s", "ratio") for p in parsers))
for d in docs:
    peer = medians.get(("pugixml", d))
    line = "%-20s" % d
    for p in parsers:
        v = medians.get((p, d))
        line += "%14.0f %8.2f" % (v, v / peer) if v and peer else "%14s %8s" % ("-", "-")
    print(line)
print("ratio: MB/s over pugixml's MB/s on the same document; medians of %s repetitions" % sys.argv[2])
PY
