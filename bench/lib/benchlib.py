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
