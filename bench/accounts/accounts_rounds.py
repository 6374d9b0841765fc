#!/usr/bin/env python3
# The rounds of bench/accounts/run.sh.
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import benchlib  # noqa: E402

build = sys.argv[1]
rounds = int(os.environ.get("ROUNDS", "5"))
min_time = os.environ.get("MIN_TIME", "0.5")
binary = os.path.join(build, "bin", "accounts_bench")
cases = [("store change, no history", "BM_StoreChange/real_time", 2),
         ("store change, history 3", "BM_StoreChangeHistory3/real_time", 5),
         ("NetUserChangePassword", "BM_NetUserChangePassword/real_time", 2)]
ours = {c[0]: [] for c in cases}
peer = {c[0]: [] for c in cases}
load = benchlib.MachineLoad()
try:
    for _ in range(rounds):
        runs, _ = benchlib.run_gbench(binary, ["--benchmark_min_time=%s" % min_time])
        hash_ms = runs["BM_YescryptHash/real_time"]["cpu_time"] / 1e6
        for name, key, hashes in cases:
            ours[name].append(runs[key]["cpu_time"] / 1e6)
            peer[name].append(hashes * hash_ms)
except (benchlib.BenchFailure, KeyError) as e:
    benchlib.fail("accounts: %s" % e)
load = load.finish()
print("Account store changes (CPU ms), %d rounds; machine: %s" % (rounds, benchlib.describe_load(load)))
for name, _, hashes in cases:
    benchlib.emit("accounts", name, "CPU ms per change", ours[name], peer[name],
                  "%d yescrypt hashes" % hashes, better="lower", details={"load": load})
