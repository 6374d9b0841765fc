# Shared pieces of the benchmark scripts: ratios taken pair by pair over
# alternating rounds, the machine's load, and the result lines that
# bench/run.sh gathers into its report.
#
# A result line (JSON, one per compared figure) goes to the file named by
# BENCH_RESULTS when it is set:
#   {"bench": "protocol", "case": "in-band keep-alive", "metric": "requests/s",
#    "better": "higher", "ours": <median>, "peer": <median>, "peer_name": "nginx",
#    "ratio": <median of the per-round ratios>, "ratio_min": .., "ratio_max": ..,
#    "rounds": N, "details": {...}}
import json
import os
import statistics
import sys


class BenchFailure(Exception):
    """What a side answered is not what the benchmark compares."""


def fail(message):
    print("BENCHMARK FAILED: " + message, file=sys.stderr)
    sys.exit(1)


def ratio_stats(ours, peer):
    """Per-round ratios ours[i] / peer[i]: median, min, max and the rounds."""
    if len(ours) != len(peer) or not ours:
        raise BenchFailure("unpaired rounds")
    ratios = [o / p for o, p in zip(ours, peer) if p > 0]
    if len(ratios) != len(ours):
        raise BenchFailure("a peer figure is zero")
    return {
        "ratio": statistics.median(ratios),
        "ratio_min": min(ratios),
        "ratio_max": max(ratios),
        "ratios": ratios,
        "rounds": len(ratios),
    }


def emit(bench, case, metric, ours, peer, peer_name, better="higher", details=None):
    """Prints the comparison and appends its result line; |ours| and |peer|
    are the per-round figures, in round order."""
    stats = ratio_stats(ours, peer)
    line = {
        "bench": bench,
        "case": case,
        "metric": metric,
        "better": better,
        "ours": statistics.median(ours),
        "peer": statistics.median(peer),
        "peer_name": peer_name,
        "ratio": stats["ratio"],
        "ratio_min": stats["ratio_min"],
        "ratio_max": stats["ratio_max"],
        "rounds": stats["rounds"],
        "ratios": [round(r, 4) for r in stats["ratios"]],
        "details": details or {},
    }
    print("  %-32s %s: ratio %.3f (spread %.3f-%.3f over %d rounds; medians %s / %s %s)" % (
        case, metric, line["ratio"], line["ratio_min"], line["ratio_max"], line["rounds"],
        fmt(line["ours"]), fmt(line["peer"]), peer_name))
    path = os.environ.get("BENCH_RESULTS")
    if path:
        with open(path, "a") as out:
            out.write(json.dumps(line) + "\n")
    return line


def fmt(x):
    if x is None:
        return "-"
    if abs(x) >= 100:
        return "%.0f" % x
    if abs(x) >= 1:
        return "%.2f" % x
    return "%.4g" % x


class MachineLoad:
    """The machine's load over a stretch of time: the load average at both
    ends and the share of all processors' time that was busy."""

    def __init__(self):
        self.load_before = self._loadavg()
        self.busy_before, self.total_before = self._cpu()

    @staticmethod
    def _loadavg():
        with open("/proc/loadavg") as f:
            return float(f.read().split()[0])

    @staticmethod
    def _cpu():
        with open("/proc/stat") as f:
            fields = [int(x) for x in f.readline().split()[1:]]
        idle = fields[3] + (fields[4] if len(fields) > 4 else 0)
        return sum(fields) - idle, sum(fields)

    def finish(self):
        busy, total = self._cpu()
        d_total = max(1, total - self.total_before)
        return {
            "loadavg_before": self.load_before,
            "loadavg_after": self._loadavg(),
            "busy_share": round((busy - self.busy_before) / d_total, 3),
            "processors": os.cpu_count(),
        }


def describe_load(load):
    return "load average %.1f -> %.1f on %d processors, %.0f%% of processor time busy" % (
        load["loadavg_before"], load["loadavg_after"], load["processors"], 100 * load["busy_share"])


def run_gbench(binary, args=(), env=None):
    """Runs a Google Benchmark program; returns its runs by name (iteration
    runs only: real_time and cpu_time in ns, the counters) and what it
    printed. A run that reported an error fails the benchmark."""
    import subprocess
    import tempfile
    with tempfile.NamedTemporaryFile(suffix=".json") as out_file:
        out = subprocess.run([binary, "--benchmark_out=" + out_file.name, "--benchmark_out_format=json",
                              "--benchmark_color=false"] + list(args),
                             capture_output=True, text=True, env=env)
        if out.returncode != 0:
            raise BenchFailure("%s failed: %s" % (binary, out.stderr[-2000:]))
        doc = json.load(open(out_file.name))
    runs = {}
    for b in doc["benchmarks"]:
        if b.get("error_occurred"):
            raise BenchFailure("%s: %s failed: %s" % (os.path.basename(binary), b["name"],
                                                      b.get("error_message", "")))
        if b.get("run_type", "iteration") != "iteration":
            continue
        scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        runs[b["name"]] = dict(b, real_time=b["real_time"] * scale, cpu_time=b["cpu_time"] * scale)
    return runs, out.stdout


if __name__ == "__main__":
    # benchlib.py emit BENCH CASE METRIC higher|lower PEER_NAME "OURS..." "PEER..." [LOAD_JSON]
    if len(sys.argv) >= 8 and sys.argv[1] == "emit":
        _, _, bench, case, metric, better, peer_name, ours_text, peer_text = sys.argv[:9]
        details = json.loads(sys.argv[9]) if len(sys.argv) > 9 else {}
        try:
            emit(bench, case, metric, [float(x) for x in ours_text.split()],
                 [float(x) for x in peer_text.split()], peer_name, better=better, details=details)
        except BenchFailure as e:
            fail("%s: %s" % (bench, e))
    elif len(sys.argv) == 2 and sys.argv[1] == "load-start":
        print(json.dumps(MachineLoad().__dict__))
    elif len(sys.argv) == 3 and sys.argv[1] == "load-finish":
        load = MachineLoad.__new__(MachineLoad)
        load.__dict__.update(json.loads(sys.argv[2]))
        result = load.finish()
        print(json.dumps({"load": result}))
        print("  machine: " + describe_load(result), file=sys.stderr)
    else:
        sys.exit("usage: benchlib.py emit BENCH CASE METRIC higher|lower PEER OURS PEER [DETAILS_JSON]")
