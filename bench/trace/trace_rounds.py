#!/usr/bin/env python3
# The rounds of bench/trace/run.sh.
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import benchlib  # noqa: E402

build = sys.argv[1]
rounds = int(os.environ.get("ROUNDS", "5"))
min_time = os.environ.get("MIN_TIME", "0.2")
binary = os.path.join(build, "bin", "trace_bench")
figures = {k: [] for k in ("empty", "disabled", "one", "sixteen")}
lost = []
load = benchlib.MachineLoad()
try:
    for _ in range(rounds):
        runs, text = benchlib.run_gbench(binary, ["--benchmark_min_time=%s" % min_time])
        m = re.search(r"records received by vltqtr: (\d+) of (\d+) sent", text)
        if not m:
            raise benchlib.BenchFailure("no record count from trace_bench: %s" % text)
        received, sent = int(m.group(1)), int(m.group(2))
        # The device drops a record when the collector stays busy past its
        # timeout (a loaded machine); more than a trace of that is a fault.
        if sent == 0 or received < 0.99 * sent:
            raise benchlib.BenchFailure("records lost on the way to vltqtr: %d of %d arrived" % (received, sent))
        lost.append(sent - received)
        figures["empty"].append(runs["BM_EmptyCall"]["cpu_time"])
        figures["disabled"].append(runs["BM_DisabledTracePoint"]["cpu_time"])
        figures["one"].append(runs["BM_EnabledRecords/real_time/threads:1"]["items_per_second"])
        figures["sixteen"].append(runs["BM_EnabledRecords/real_time/threads:16"]["items_per_second"])
except (benchlib.BenchFailure, KeyError) as e:
    benchlib.fail("trace: %s" % e)
load = load.finish()
print("Trace points, %d rounds; machine: %s" % (rounds, benchlib.describe_load(load)))
benchlib.emit("trace", "disabled trace point", "ns per call", figures["disabled"], figures["empty"],
              "empty call", better="lower", details={"load": load})
benchlib.emit("trace", "enabled records into vltqtr", "records/s", figures["sixteen"], figures["one"],
              "1 thread (ours: 16 threads)", details={"load": load, "records_dropped_per_round": lost})
