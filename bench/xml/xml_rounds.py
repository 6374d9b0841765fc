#!/usr/bin/env python3
# The rounds of bench/xml/run.sh.
import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import benchlib  # noqa: E402

build = sys.argv[1]
rounds = int(os.environ.get("ROUNDS", "7"))
min_time = os.environ.get("MIN_TIME", "0.2")
binary = os.path.join(build, "bin", "xml_bench")
parsers = ["CXMLParser", "pugixml", "expat"]

mbps = {p: {} for p in parsers}  # parser -> document -> [MB/s per round]
load = benchlib.MachineLoad()
try:
    for r in range(rounds):
        order = parsers if r % 2 == 0 else list(reversed(parsers))
        for parser in order:
            runs, _ = benchlib.run_gbench(binary, ["--benchmark_filter=^%s/" % parser,
                                                   "--benchmark_min_time=%s" % min_time])
            for name, run in runs.items():
                mbps[parser].setdefault(name.split("/", 1)[1], []).append(run["bytes_per_second"] / 1e6)
except benchlib.BenchFailure as e:
    benchlib.fail("xml: %s" % e)
load = load.finish()

docs = sorted(mbps["pugixml"])
for doc in docs:
    for parser in parsers:
        if len(mbps[parser].get(doc, [])) != rounds:
            benchlib.fail("xml: %s did not run on %s in every round" % (parser, doc))
print("XML tokenizer, MB/s of input (median of %d alternating rounds; ratio per round to pugixml)" % rounds)
print("  %-20s" % "document" + "".join("%14s" % (p + " MB/s") for p in parsers) + "   expat/pugixml")
for doc in docs:
    ratios = [e / p for e, p in zip(mbps["expat"][doc], mbps["pugixml"][doc])]
    print("  %-20s" % doc + "".join("%14.0f" % statistics.median(mbps[p][doc]) for p in parsers)
          + "   %.2f" % statistics.median(ratios))
print("  machine: %s" % benchlib.describe_load(load))
for doc in docs:
    benchlib.emit("xml", doc, "MB/s", mbps["CXMLParser"][doc], mbps["pugixml"][doc], "pugixml",
                  details={"load": load, "expat_mbps": statistics.median(mbps["expat"][doc])})
