#!/usr/bin/env python3
"""One HTTP load case: vltadmin-host against nginx on loopback, measured in
alternating rounds with the same wrk load, after checking what each answers.

  http_load.py --build BUILD --name NAME --body FILE --keep yes|no
               --host-arg ARG... --host-path PATH --nginx-location TEXT
               [--compare-body] [--expect-status N] [--bench NAME]

Before any figure: both sides get the benchmark's request twice (on one
connection when --keep yes) and must answer the expected status (and, with
--compare-body, the same body bytes); a side that keeps the connection when
it should close, or the reverse, fails the case. In every round: wrk's
byte count per request must match that side's checked response size, its
non-2xx count must match the status, no connect errors or timeouts, and a
sample of the server's connections halfway must show them kept (each has
carried many requests) or not kept, as the case says. CPU time and system
calls per request come from perf stat on the server's processes (or CPU
time alone from /proc when perf cannot count system calls).

Environment: ROUNDS (5), DURATION (5, seconds per run), CONNECTIONS (64),
HOST_IO_THREADS (1), NGINX_WORKERS (1).
"""
import argparse
import os
import re
import resource
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402

ROUNDS = int(os.environ.get("ROUNDS", "5"))
DURATION = float(os.environ.get("DURATION", "5").rstrip("s"))
CONNECTIONS = int(os.environ.get("CONNECTIONS", "64"))
HOST_IO_THREADS = os.environ.get("HOST_IO_THREADS", "1")
NGINX_WORKERS = os.environ.get("NGINX_WORKERS", "1")


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def children(pid):
    try:
        out = subprocess.run(["pgrep", "-P", str(pid)], capture_output=True, text=True).stdout
        return [int(x) for x in out.split()]
    except OSError:
        return []


class Server:
    name = ""
    proc = None
    port = 0

    def pids(self):
        return [self.proc.pid] + children(self.proc.pid)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(self.stop_signal)
            try:
                self.proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None


class Host(Server):
    stop_signal = signal.SIGTERM

    def __init__(self, build, work, args):
        self.name = "vltadmin-host"
        self.err_path = os.path.join(work, "host.err")
        self.proc = subprocess.Popen(
            [os.path.join(build, "bin", "vltadmin-host"), "--listen", "127.0.0.1:0",
             "--io-threads", HOST_IO_THREADS] + args,
            stdout=subprocess.PIPE, stderr=open(self.err_path, "w"), text=True)
        line = self.proc.stdout.readline()
        m = re.match(r"listening on .*:(\d+)$", line.strip())
        if not m:
            self.proc.wait()
            raise benchlib.BenchFailure("vltadmin-host did not start: " + open(self.err_path).read())
        self.port = int(m.group(1))


class Nginx(Server):
    stop_signal = signal.SIGQUIT

    def __init__(self, work, keepalive, location):
        self.name = "nginx"
        self.port = free_port()
        root = os.path.join(work, "nginx")
        os.makedirs(root, exist_ok=True)
        conf = os.path.join(root, "nginx.conf")
        with open(conf, "w") as f:
            f.write("""daemon off;
worker_processes %s;
pid %s/nginx.pid;
error_log %s/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path %s/body;
  proxy_temp_path %s/proxy;
  fastcgi_temp_path %s/fastcgi;
  uwsgi_temp_path %s/uwsgi;
  scgi_temp_path %s/scgi;
  keepalive_requests 1000000;
  keepalive_timeout %s;
  server {
    listen 127.0.0.1:%d reuseport;
    location / { %s }
  }
}
""" % (NGINX_WORKERS, root, root, root, root, root, root, root, keepalive, self.port, location))
        self.proc = subprocess.Popen(["nginx", "-p", root, "-c", conf, "-e", root + "/error.log"],
                                     stderr=subprocess.DEVNULL)
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)
        else:
            raise benchlib.BenchFailure("nginx did not start")
        # Its workers serve; wait until they exist.
        for _ in range(100):
            if len(self.pids()) > int(NGINX_WORKERS):
                break
            time.sleep(0.05)


def read_response(sock, buf):
    """One response from |sock| (buffered in |buf|): (raw bytes, status, headers, body, buf)."""
    while b"\r\n\r\n" not in buf:
        chunk = sock.recv(65536)
        if not chunk:
            raise benchlib.BenchFailure("connection closed before a response header")
        buf += chunk
    head, _, rest = buf.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split()[1])
    headers = {}
    for line in lines[1:]:
        k, _, v = line.partition(":")
        headers[k.strip().lower()] = v.strip()
    if "content-length" not in headers:
        raise benchlib.BenchFailure("response without Content-Length: " + lines[0])
    length = int(headers["content-length"])
    while len(rest) < length:
        chunk = sock.recv(65536)
        if not chunk:
            raise benchlib.BenchFailure("connection closed within a response body")
        rest += chunk
    body = rest[:length]
    raw = head + b"\r\n\r\n" + body
    return raw, status, headers, body, rest[length:]


def closed_by_peer(sock):
    sock.settimeout(2)
    try:
        return sock.recv(1) == b""
    except socket.timeout:
        return False
    except ConnectionResetError:
        return True


def check_side(server, request, keep, expect_status):
    """Sends the request twice; returns (response size in bytes, body)."""
    raws, bodies = [], []
    sock = socket.create_connection(("127.0.0.1", server.port), timeout=10)
    buf = b""
    for i in range(2):
        sock.sendall(request)
        raw, status, headers, body, buf = read_response(sock, buf)
        if status != expect_status:
            raise benchlib.BenchFailure("%s answered %d, not %d" % (server.name, status, expect_status))
        raws.append(raw)
        bodies.append(body)
        if not keep:
            if not closed_by_peer(sock):
                raise benchlib.BenchFailure("%s kept the connection; the case closes it" % server.name)
            sock.close()
            sock = socket.create_connection(("127.0.0.1", server.port), timeout=10)
            buf = b""
    if keep and closed_by_peer(sock):
        raise benchlib.BenchFailure("%s closed the connection; the case keeps it" % server.name)
    sock.close()
    if len(raws[0]) != len(raws[1]) or bodies[0] != bodies[1]:
        raise benchlib.BenchFailure("%s answered the same request differently" % server.name)
    return len(raws[0]), bodies[0]


def perf_works():
    try:
        r = subprocess.run(["perf", "stat", "-x,", "-e", "task-clock,raw_syscalls:sys_enter", "--", "true"],
                           capture_output=True, text=True, timeout=20)
    except (OSError, subprocess.TimeoutExpired):
        return False
    return r.returncode == 0 and "raw_syscalls" in r.stderr and "not supported" not in r.stderr


def proc_cpu_seconds(pids):
    tick = os.sysconf("SC_CLK_TCK")
    total = 0
    for pid in pids:
        try:
            with open("/proc/%d/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])
        except OSError:
            pass
    return total / tick


WRK_UNITS = {"B": 1, "KB": 1024, "MB": 1024 ** 2, "GB": 1024 ** 3, "TB": 1024 ** 4}


def ms(text):
    m = re.match(r"([\d.]+)(us|ms|s|m)$", text)
    v, u = float(m.group(1)), m.group(2)
    return {"us": v / 1000, "ms": v, "s": v * 1000, "m": v * 60000}[u]


def parse_wrk(out):
    r = {}
    m = re.search(r"(\d+) requests in ([\d.]+)(\w+), ([\d.]+)(\w+) read", out)
    if not m:
        raise benchlib.BenchFailure("unreadable wrk output:\n" + out)
    r["requests"] = int(m.group(1))
    r["bytes"] = float(m.group(4)) * WRK_UNITS[m.group(5)]
    r["bytes_precision"] = 0.005 * WRK_UNITS[m.group(5)]
    r["rps"] = float(re.search(r"Requests/sec:\s+([\d.]+)", out).group(1))
    m = re.search(r"Non-2xx or 3xx responses: (\d+)", out)
    r["non2xx"] = int(m.group(1)) if m else 0
    m = re.search(r"Socket errors: connect (\d+), read (\d+), write (\d+), timeout (\d+)", out)
    r["errors"] = tuple(int(x) for x in m.groups()) if m else (0, 0, 0, 0)
    for p in ("50", "99"):
        m = re.search(r"^\s+%s%%\s+(\S+)" % p, out, re.M)
        r["p" + p] = ms(m.group(1)) if m else None
    return r


def sample_connections(port, request_size):
    """Established server-side connections on |port| and how many of them
    have carried at least three requests."""
    out = subprocess.run(["ss", "-Htni", "state", "established", "( sport = :%d )" % port],
                         capture_output=True, text=True).stdout
    received = [int(x) for x in re.findall(r"bytes_received:(\d+)", out)]
    sockets = len(re.findall(r"^\S.*:%d\s" % port, out, re.M))
    kept = sum(1 for b in received if b >= 3 * request_size)
    return sockets, kept


class Runner:
    def __init__(self, args, work):
        self.args = args
        self.work = work
        self.use_perf = perf_works()
        with open(args.body, "rb") as f:
            self.body = f.read()
        self.lua = os.path.join(work, "load.lua")
        with open(self.lua, "w") as f:
            f.write('wrk.method = "POST"\nwrk.headers["Content-Type"] = "%s"\nwrk.body = [==[%s]==]\n'
                    % (args.content_type, self.body.decode("latin-1")))

    def request_bytes(self, server):
        return (("POST %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Type: %s\r\nContent-Length: %d\r\n\r\n"
                 % (self.path(server), server.port, self.args.content_type, len(self.body)))
                .encode() + self.body)

    def path(self, server):
        return self.args.host_path if isinstance(server, Host) else "/Scripts/vltadmin/vltadmin.dll"

    def run_once(self, server, duration, expect):
        url = "http://127.0.0.1:%d%s" % (server.port, self.path(server))
        pids = server.pids()
        perf = None
        if self.use_perf:
            perf_out = os.path.join(self.work, "perf.txt")
            perf = subprocess.Popen(
                ["perf", "stat", "-x,", "-o", perf_out, "-e",
                 "task-clock,raw_syscalls:sys_enter,context-switches,syscalls:sys_enter_futex",
                 "-p", ",".join(str(p) for p in pids), "--", "sleep", str(duration)],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cpu_before = proc_cpu_seconds(pids)
        sample = {}

        def take_sample():
            time.sleep(duration / 2)
            sample["v"] = sample_connections(server.port, len(self.request_bytes(server)))

        sampler = threading.Thread(target=take_sample)
        sampler.start()
        ru = resource.getrusage(resource.RUSAGE_CHILDREN)
        wrk = subprocess.run(["wrk", "-t2", "-c%d" % CONNECTIONS, "-d%ds" % round(duration),
                              "--latency", "-s", self.lua, url], capture_output=True, text=True)
        ru2 = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu_after = proc_cpu_seconds(pids)
        sampler.join()
        if wrk.returncode != 0:
            raise benchlib.BenchFailure("wrk failed: " + wrk.stderr)
        r = parse_wrk(wrk.stdout)
        r["client_cpu_s"] = (ru2.ru_utime + ru2.ru_stime) - (ru.ru_utime + ru.ru_stime)
        r["cpu_us"] = (cpu_after - cpu_before) * 1e6 / max(1, r["requests"])
        r["syscalls"] = r["switches"] = r["futex"] = None
        if perf is not None:
            perf.wait()
            counts = {}
            for line in open(perf_out):
                f = line.strip().split(",")
                if len(f) >= 3 and f[0] and f[0][0].isdigit():
                    counts[f[2]] = float(f[0])
            n = max(1, r["requests"])
            if "task-clock" in counts:
                r["cpu_us"] = counts["task-clock"] * 1000 / n
            r["syscalls"] = counts.get("raw_syscalls:sys_enter", 0) / n
            r["switches"] = counts.get("context-switches", 0) / n
            r["futex"] = counts.get("syscalls:sys_enter_futex", 0) / n
        if expect is not None:
            self.verify(server, r, sample.get("v"), expect)
        return r

    def verify(self, server, r, sample, expect):
        size, status = expect
        who = server.name
        per = r["bytes"] / max(1, r["requests"])
        tolerance = max(0.01 * size, r["bytes_precision"] / max(1, r["requests"]) + 1)
        if abs(per - size) > tolerance:
            raise benchlib.BenchFailure("%s: %.1f bytes per response under load, %d checked" % (who, per, size))
        if status >= 300 and r["non2xx"] < 0.99 * r["requests"]:
            raise benchlib.BenchFailure("%s: only %d of %d responses were %d" % (who, r["non2xx"], r["requests"], status))
        if status < 300 and r["non2xx"] > 0:
            raise benchlib.BenchFailure("%s: %d responses other than %d" % (who, r["non2xx"], status))
        connect, _, _, timeouts = r["errors"]
        if connect or timeouts:
            raise benchlib.BenchFailure("%s: socket errors %s" % (who, r["errors"]))
        if sample is None:
            raise benchlib.BenchFailure("%s: no connection sample" % who)
        sockets, kept = sample
        if self.args.keep == "yes":
            if sockets < 0.9 * CONNECTIONS or kept < 0.9 * sockets:
                raise benchlib.BenchFailure("%s: %d of %d connections kept halfway through the run"
                                            % (who, kept, sockets))
        elif kept > 0.1 * max(1, sockets):
            raise benchlib.BenchFailure("%s: %d of %d connections carried several requests; the case closes them"
                                        % (who, kept, sockets))
        r["connections"] = sockets
        r["kept"] = kept


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True)
    p.add_argument("--bench", required=True)
    p.add_argument("--name", required=True)
    p.add_argument("--body", required=True)
    p.add_argument("--content-type", default="text/xml")
    p.add_argument("--keep", choices=("yes", "no"), required=True)
    p.add_argument("--host-arg", action="append", default=[])
    p.add_argument("--host-path", default="/Scripts/vltadmin/vltadmin.dll")
    p.add_argument("--nginx-location", default="",
                   help="the location's directives; empty: return the host's answer (status 200, text/xml)")
    p.add_argument("--expect-status", type=int, default=200)
    p.add_argument("--compare-body", action="store_true")
    args = p.parse_args()

    work = tempfile.mkdtemp(prefix="vlt_bench_http.")
    host = nginx = None
    try:
        runner = Runner(args, work)
        host = Host(args.build, work, args.host_arg)
        location = args.nginx_location
        if not location:
            _, answer = check_side(host, runner.request_bytes(host), args.keep == "yes", args.expect_status)
            text = answer.decode("utf-8")
            if "$" in text:
                raise benchlib.BenchFailure("the answer holds a '$', which nginx would expand")
            location = "default_type text/xml; return 200 '%s';" % text.replace("\\", "\\\\").replace("'", "\\'")
        nginx = Nginx(work, "75s" if args.keep == "yes" else "0", location)
        expect = {}
        for server in (host, nginx):
            size, body = check_side(server, runner.request_bytes(server), args.keep == "yes",
                                    args.expect_status)
            expect[server.name] = (size, body)
        if args.compare_body and expect[host.name][1] != expect[nginx.name][1]:
            raise benchlib.BenchFailure("the bodies differ:\n%r\n%r" % (expect[host.name][1], expect[nginx.name][1]))
        print("%s: %d connections, %s; %d rounds of %gs each side, alternating; host io threads %s, nginx workers %s"
              % (args.name, CONNECTIONS, "keep-alive" if args.keep == "yes" else "a new connection per request",
                 ROUNDS, DURATION, HOST_IO_THREADS, NGINX_WORKERS))
        print("  checked: %s %d bytes per response, nginx %d bytes per response%s" % (
            host.name, expect[host.name][0], expect[nginx.name][0],
            " (same body)" if args.compare_body else ""))
        load = benchlib.MachineLoad()
        for server in (host, nginx):  # warm-up: threads started, caches filled
            runner.run_once(server, 2, None)
        results = {host.name: [], nginx.name: []}
        for i in range(ROUNDS):
            order = (host, nginx) if i % 2 == 0 else (nginx, host)
            for server in order:
                exp = (expect[server.name][0], args.expect_status)
                results[server.name].append(runner.run_once(server, DURATION, exp))
        load = load.finish()
    except benchlib.BenchFailure as e:
        benchlib.fail("%s: %s" % (args.name, e))
    finally:
        for s in (host, nginx):
            if s is not None:
                s.stop()
        shutil.rmtree(work, ignore_errors=True)

    def med(side, key):
        vals = [r[key] for r in results[side] if r[key] is not None]
        return statistics.median(vals) if vals else None

    print("  %-14s %10s %8s %8s %9s %9s %9s %9s %6s" % ("", "req/s", "p50 ms", "p99 ms", "CPU us/rq",
                                                     "sysc/rq", "futex/rq", "cswch/rq", "conns"))
    for side in (host.name, nginx.name):
        print("  %-14s %10.0f %8.3f %8.3f %9.2f %9s %9s %9s %6d" % (
            side, med(side, "rps"), med(side, "p50"), med(side, "p99"), med(side, "cpu_us"),
            benchlib.fmt(med(side, "syscalls")), benchlib.fmt(med(side, "futex")),
            benchlib.fmt(med(side, "switches")), med(side, "connections")))
    print("  machine: %s" % benchlib.describe_load(load))
    details = {"load": load, "connections": CONNECTIONS, "duration_s": DURATION,
               "host_io_threads": HOST_IO_THREADS, "nginx_workers": NGINX_WORKERS,
               "perf": runner.use_perf}
    for side in (host.name, nginx.name):
        for key in ("rps", "p50", "p99", "cpu_us", "syscalls", "futex", "switches"):
            details["%s_%s" % ("host" if side == host.name else "nginx", key)] = med(side, key)
    benchlib.emit(args.bench, args.name, "requests/s",
                  [r["rps"] for r in results[host.name]], [r["rps"] for r in results[nginx.name]],
                  "nginx", details=details)
    benchlib.emit(args.bench, args.name, "CPU us per request",
                  [r["cpu_us"] for r in results[host.name]], [r["cpu_us"] for r in results[nginx.name]],
                  "nginx", better="lower")
    if runner.use_perf:
        benchlib.emit(args.bench, args.name, "system calls per request",
                      [r["syscalls"] for r in results[host.name]], [r["syscalls"] for r in results[nginx.name]],
                      "nginx", better="lower")


if __name__ == "__main__":
    main()
