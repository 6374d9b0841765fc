#!/usr/bin/env python3
"""Turns the result lines of one bench/run.sh into its report.

  report.py RESULTS.jsonl OUT_DIR --meta META.json [--compare OLD_REPORT.json]

Writes OUT_DIR/report.json (the meta data and every result line) and
OUT_DIR/report.md (one table of ratios, then the HTTP cases' CPU time and
system calls per request beside nginx's). With --compare, each ratio is
shown beside the same figure of an earlier report.
"""
import argparse
import json
import os


def fmt(x, digits=3):
    if x is None:
        return "-"
    if isinstance(x, str):
        return x
    if abs(x) >= 1000:
        return "%.0f" % x
    if abs(x) >= 10:
        return "%.1f" % x
    return ("%%.%df" % digits) % x


def main():
    p = argparse.ArgumentParser()
    p.add_argument("results")
    p.add_argument("out_dir")
    p.add_argument("--meta", required=True)
    p.add_argument("--compare")
    args = p.parse_args()

    results = []
    if os.path.exists(args.results):
        with open(args.results) as f:
            results = [json.loads(line) for line in f if line.strip()]
    meta = json.load(open(args.meta))
    old = {}
    if args.compare:
        for r in json.load(open(args.compare)).get("results", []):
            old[(r["bench"], r["case"], r["metric"])] = r

    os.makedirs(args.out_dir, exist_ok=True)
    with open(os.path.join(args.out_dir, "report.json"), "w") as f:
        json.dump(dict(meta, results=results), f, indent=1)

    md = ["# vltadmin benchmarks", ""]
    md.append("- commit %s, %s, build `%s`, mode %s" % (meta.get("commit"), meta.get("date"),
                                                       meta.get("build"), meta.get("mode")))
    md.append("- machine: %s, %s processors; whole run %s s" % (meta.get("cpu_model"), meta.get("processors"),
                                                               meta.get("duration_s")))
    md.append("- every ratio is ours / peer, taken per round (alternating rounds), then the median; "
              "spread = lowest..highest round")
    if meta.get("failures"):
        md.append("- **FAILED: %s**" % ", ".join(meta["failures"]))
    md.append("")
    head = "| benchmark | case | metric | ours | peer | ratio | spread | rounds | better |"
    sep = "|---|---|---|---:|---|---:|---|---:|---|"
    if old:
        head += " earlier ratio |"
        sep += "---:|"
    md += [head, sep]
    for r in results:
        row = "| %s | %s | %s | %s | %s %s | **%s** | %s..%s | %d | %s |" % (
            r["bench"], r["case"], r["metric"], fmt(r["ours"]), fmt(r["peer"]), r["peer_name"],
            fmt(r["ratio"]), fmt(r["ratio_min"]), fmt(r["ratio_max"]), r["rounds"], r["better"])
        if old:
            o = old.get((r["bench"], r["case"], r["metric"]))
            row += " %s |" % (fmt(o["ratio"]) if o else "-")
        md.append(row)

    http = [r for r in results if r["metric"] == "requests/s" and "host_cpu_us" in r.get("details", {})]
    if http:
        md += ["", "## HTTP cases, per request (medians of the rounds)", "",
               "| case | side | req/s | p50 ms | p99 ms | CPU us | system calls | futex | context switches |",
               "|---|---|---:|---:|---:|---:|---:|---:|---:|"]
        for r in http:
            d = r["details"]
            for side, label in (("host", "vltadmin-host"), ("nginx", "nginx")):
                md.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
                    r["case"], label, fmt(d.get(side + "_rps")), fmt(d.get(side + "_p50")),
                    fmt(d.get(side + "_p99")), fmt(d.get(side + "_cpu_us")), fmt(d.get(side + "_syscalls")),
                    fmt(d.get(side + "_futex")), fmt(d.get(side + "_switches"))))
        md.append("")
        md.append("Host io threads %s, nginx workers %s, %s connections, %s s per run." % (
            http[0]["details"].get("host_io_threads"), http[0]["details"].get("nginx_workers"),
            http[0]["details"].get("connections"), http[0]["details"].get("duration_s")))

    loads = [(r["bench"], r["case"], r["details"]["load"]) for r in results if "load" in r.get("details", {})]
    if loads:
        md += ["", "## Machine load while each ran", "",
               "| benchmark | case | load average before -> after | busy share of all processors |",
               "|---|---|---|---:|"]
        seen = set()
        for bench, case, load in loads:
            key = (bench, json.dumps(load, sort_keys=True))
            if key in seen:
                continue
            seen.add(key)
            md.append("| %s | %s | %.1f -> %.1f | %.0f%% |" % (bench, case, load["loadavg_before"],
                                                              load["loadavg_after"], 100 * load["busy_share"]))
    for extra in meta.get("notes", []):
        md += ["", extra]
    with open(os.path.join(args.out_dir, "report.md"), "w") as f:
        f.write("\n".join(md) + "\n")


if __name__ == "__main__":
    main()
