#!/bin/sh
# Runs the XML benchmark and prints MB/s per document with each parser's
# ratio to pugixml, from several repetitions of one run: the best repetition
# of each (the one least disturbed on a shared machine) and the median.
#
#   bench/xml/run.sh BUILD_DIR [REPETITIONS] [FILTER]   (default 5, all)
set -eu
build_dir=${1:?usage: $0 BUILD_DIR [REPETITIONS]}
repetitions=${2:-5}
filter=${3:-.}
json=$(mktemp "${TMPDIR:-/tmp}/xml_bench.XXXXXX.json")
trap 'rm -f "$json"' EXIT
"$build_dir/bin/xml_bench" --benchmark_repetitions="$repetitions" \
  --benchmark_filter="$filter" --benchmark_format=json --benchmark_out="$json" \
  --benchmark_out_format=json > /dev/null
python3 - "$json" "$repetitions" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
samples = {}
for r in runs:
    if r.get("run_type") != "iteration" or "bytes_per_second" not in r:
        continue
    parser, doc = r["run_name"].split("/", 1)
    samples.setdefault((parser, doc), []).append(r["bytes_per_second"] / 1e6)
best = {k: max(v) for k, v in samples.items()}
median = {k: sorted(v)[len(v) // 2] for k, v in samples.items()}
docs = sorted({d for _, d in samples})
parsers = ["CXMLParser", "pugixml", "expat"]
for title, table in (("best", best), ("median", median)):
    print("%-8s%-20s" % (title, "document") + "".join("%16s %6s" % (p + " MB/s", "ratio") for p in parsers))
    for d in docs:
        peer = table.get(("pugixml", d))
        line = "%-8s%-20s" % ("", d)
        for p in parsers:
            v = table.get((p, d))
            line += "%16.0f %6.2f" % (v, v / peer) if v and peer else "%16s %6s" % ("-", "-")
        print(line)
print("ratio: MB/s over pugixml's MB/s on the same document, %s repetitions" % sys.argv[2])
PY
