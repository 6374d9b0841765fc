#!/usr/bin/env bash
# Directory password changes through vltadmin-host against a Samba AD DC on
# loopback, beside a minimal libldap client (ldap_change_client) making the
# same unicodePwd delete/add changes directly over one kept-open ldaps
# connection, in the same run, one change at a time. Both sides change the
# same users, each change to a new complex password (history 0, minimum
# age 0). Prints changes/s and mean/p50/p99 latency of each side, the
# difference, and the time a change through the host spends in each step
# of the directory back end (from vltqtr trace records of a second, traced
# pass; the timed pass runs without a collector).
#
#   bench/directory/samba_run.sh [BUILD_DIR]      (default: build)
#
# Environment: USERS (20) users created, CHANGES (60) changes per side,
# in ROUNDS (4) blocks in alternating order (the ratio host / direct of
# changes/s is taken per block), TRACED (20) changes of the traced pass;
# PARALLEL=4 adds a pass with 4 changes at a time (PER_STREAM (10) each). Needs Samba (samba-tool) and the
# ports 389/636 of 127.0.0.1 free; tests/support/samba_dc.sh starts the DC.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
SRC="$(cd "$HERE/../.." && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
USERS="${USERS:-20}"
CHANGES="${CHANGES:-60}"
TRACED="${TRACED:-20}"
ROUNDS="${ROUNDS:-4}"
PARALLEL="${PARALLEL:-1}"
PER_STREAM="${PER_STREAM:-10}"
FIXTURE="$SRC/tests/support/samba_dc.sh"
BASE="DC=example,DC=test"
ADMIN="Administrator@example.test"

if (exec 3<>/dev/tcp/127.0.0.1/636) 2>/dev/null; then
  echo "samba_run.sh: 127.0.0.1:636 is in use (another DC running?)" >&2
  exit 1
fi

WORK="$(mktemp -d /tmp/vlt_bench_samba.XXXXXX)"
HOST_PID="" QTR_PID=""
stop_host() {
  if [ -n "$HOST_PID" ]; then kill "$HOST_PID" 2>/dev/null; wait "$HOST_PID" 2>/dev/null || true; fi
  HOST_PID=""
}
cleanup() {
  stop_host
  if [ -n "$QTR_PID" ]; then kill "$QTR_PID" 2>/dev/null; wait "$QTR_PID" 2>/dev/null || true; fi
  "$FIXTURE" stop "$WORK/samba" || true
  rm -rf "$WORK"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

echo "provisioning Samba (about 15 s)..." >&2
"$FIXTURE" start "$WORK/samba"
samba-tool domain passwordsettings set --history-length=0 --min-pwd-age=0 \
  -s "$WORK/samba/dc/etc/smb.conf" >/dev/null
export LDAPTLS_CACERT="$WORK/samba/tls/ca.pem"
ADMIN_PW='Adm1n!Passw0rd'
printf '%s\n' "$ADMIN_PW" > "$WORK/bind.secret"
chmod 600 "$WORK/bind.secret"
CLIENT=("$BUILD/bin/ldap_change_client" ldaps://127.0.0.1/ "$ADMIN" "$ADMIN_PW" "$BASE")

# Users benchu0..; passwords Init#<k>Pw, then <Side>#<n>u<k>Pw (unique).
declare -a CURRENT
for k in $(seq 0 $((USERS - 1))); do CURRENT[k]="Init#${k}Pw"; done
for k in $(seq 0 $((USERS - 1))); do echo "benchu$k ${CURRENT[k]}"; done | "${CLIENT[@]}" create

# plan SIDE COUNT > file: "UPN OLD NEW" lines, advancing CURRENT.
plan() {
  for i in $(seq 0 $(($2 - 1))); do
    k=$((i % USERS))
    new="$1#${i}u${k}Pw"
    echo "benchu$k@example.test ${CURRENT[k]} $new"
    CURRENT[k]=$new
  done
}

# plan_group SIDE COUNT GROUP: the same, over the users k with
# k % PARALLEL == GROUP only.
plan_group() {
  local n=0 k
  for i in $(seq 0 $(($2 - 1))); do
    k=$(( (n * PARALLEL + $3) % USERS ))
    n=$((n + 1))
    new="$1#${i}u${k}Pw"
    echo "benchu$k@example.test ${CURRENT[k]} $new"
    CURRENT[k]=$new
  done
}

# Waits for every background job but the host.
wait_all_but_host() {
  local pid
  for pid in $(jobs -p); do
    [ "$pid" = "$HOST_PID" ] || [ "$pid" = "$QTR_PID" ] || wait "$pid"
  done
}

mkdir -p "$WORK/root/System32"
cp "$SRC/data/vltxmlss.txt" "$WORK/root/System32/"
cat > "$WORK/vltadmin.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install]
"Location"="$WORK/root"

[HKEY_CLASSES_ROOT\\CLSID\\{274FAE1F-3626-11D1-A3A4-00C04FB950DC}\\InprocServer32]
@="ACTIVEDS.DLL"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Directory Services]
"DomainName"="example.test"
"Servers"="ldaps://127.0.0.1/"
"CACertificateFile"="$LDAPTLS_CACERT"
"BindDN"="$ADMIN"
"BindPasswordFile"="$WORK/bind.secret"
REG

start_host() {
  HTTP_PORT=$(free_port)
  "$BUILD/bin/vltadmin-host" --registry "$WORK/vltadmin.reg" --listen "127.0.0.1:$HTTP_PORT" \
    >"$WORK/host.log" 2>&1 &
  HOST_PID=$!
  for _ in $(seq 1 100); do grep -q "listening on" "$WORK/host.log" && break; sleep 0.05; done
}

# host_side PLAN > latencies: one keep-alive HTTP connection, one request
# at a time; the latency of each in microseconds.
host_side() {
  python3 - "$HTTP_PORT" "$1" <<'PY'
import http.client, sys, time
port, plan = int(sys.argv[1]), sys.argv[2]
conn = http.client.HTTPConnection("127.0.0.1", port)
for line in open(plan):
    upn, old, new = line.split()
    body = ('<?xml version="1.0" encoding="UTF-8"?><AdminProtocol version="1.0">'
            '<RequestChangePassword><UserName>%s</UserName><OldPassword>%s</OldPassword>'
            '<NewPassword>%s</NewPassword></RequestChangePassword></AdminProtocol>' % (upn, old, new))
    start = time.perf_counter()
    conn.request("POST", "/Scripts/vltadmin/vltadmin.dll", body.encode(), {"Content-Type": "text/xml"})
    response = conn.getresponse()
    answer = response.read().decode("utf-8", "replace")
    elapsed = time.perf_counter() - start
    if response.status != 200 or "<ResponseChangePassword" not in answer or "<ErrorId>" in answer:
        sys.exit("BENCHMARK FAILED: change for %s through the host: %d %s" % (upn, response.status, answer))
    print(int(elapsed * 1e6))
PY
}

# Timed pass, no trace collector: the two sides take turns in ROUNDS
# blocks, so that load from elsewhere on the machine falls on both alike.
export VLTQTR_DEVICE="$WORK/no-collector.sock"
start_host
: > "$WORK/direct.us"
: > "$WORK/host.us"
PER_ROUND=$(((CHANGES + ROUNDS - 1) / ROUNDS))
LOAD=$(python3 "$HERE/../lib/benchlib.py" load-start)
for r in $(seq 1 "$ROUNDS"); do
  plan "Direct$r" "$PER_ROUND" > "$WORK/direct.plan"
  plan "Host$r" "$PER_ROUND" > "$WORK/host.plan"
  if [ $((r % 2)) = 1 ]; then
    "${CLIENT[@]}" change < "$WORK/direct.plan" > "$WORK/direct.$r.us"
    host_side "$WORK/host.plan" > "$WORK/host.$r.us"
  else
    host_side "$WORK/host.plan" > "$WORK/host.$r.us"
    "${CLIENT[@]}" change < "$WORK/direct.plan" > "$WORK/direct.$r.us"
  fi
  cat "$WORK/direct.$r.us" >> "$WORK/direct.us"
  cat "$WORK/host.$r.us" >> "$WORK/host.us"
done
LOAD=$(python3 "$HERE/../lib/benchlib.py" load-finish "$LOAD")

# Optional: PARALLEL changes at a time, each stream on its own users, the
# direct side as PARALLEL clients, the host side as PARALLEL connections.
if [ "$PARALLEL" -gt 1 ]; then
  for g in $(seq 0 $((PARALLEL - 1))); do
    plan_group "DirectP$g" "$PER_STREAM" "$g" > "$WORK/direct-p$g.plan"
    plan_group "HostP$g" "$PER_STREAM" "$g" > "$WORK/host-p$g.plan"
  done
  start=$(date +%s.%N)
  for g in $(seq 0 $((PARALLEL - 1))); do
    "${CLIENT[@]}" change < "$WORK/direct-p$g.plan" > "$WORK/direct-p$g.us" &
  done
  wait_all_but_host
  DIRECT_WALL=$(python3 -c "print($(date +%s.%N) - $start)")
  start=$(date +%s.%N)
  for g in $(seq 0 $((PARALLEL - 1))); do
    host_side "$WORK/host-p$g.plan" > "$WORK/host-p$g.us" &
  done
  wait_all_but_host
  HOST_WALL=$(python3 -c "print($(date +%s.%N) - $start)")
  cat "$WORK"/direct-p*.us > "$WORK/direct-par.us"
  cat "$WORK"/host-p*.us > "$WORK/host-par.us"
  echo "$PARALLEL $DIRECT_WALL $HOST_WALL" > "$WORK/parallel.txt"
fi
stop_host
plan Traced "$TRACED" > "$WORK/traced.plan"

# Traced pass: the host again, with vltqtr collecting the back end's records.
export VLTQTR_DEVICE="$WORK/qtr.sock"
"$BUILD/bin/vltqtr" --socket "$VLTQTR_DEVICE" --classes all --level 5 --output "$WORK/trace.txt" \
  2>"$WORK/vltqtr.log" &
QTR_PID=$!
for _ in $(seq 1 100); do [ -S "$VLTQTR_DEVICE" ] && break; sleep 0.05; done
start_host
host_side "$WORK/traced.plan" > "$WORK/traced.us"
stop_host
sleep 0.2
kill "$QTR_PID" 2>/dev/null; wait "$QTR_PID" 2>/dev/null || true
QTR_PID=""

python3 - "$WORK" "$USERS" "$ROUNDS" "$HERE/../lib" "$LOAD" <<'PY'
import datetime, json, statistics, sys
work, users, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
sys.path.insert(0, sys.argv[4])
import benchlib
details = json.loads(sys.argv[5])

def load(name):
    return [int(x) / 1000.0 for x in open("%s/%s" % (work, name)).read().split()]

def pct(values, p):
    s = sorted(values)
    return s[min(len(s) - 1, int(round(p / 100.0 * (len(s) - 1))))]

def row(label, ms):
    print("  %-28s %7.2f changes/s  mean %6.2f ms  p50 %6.2f ms  p99 %6.2f ms"
          % (label, len(ms) / (sum(ms) / 1000.0), statistics.mean(ms), pct(ms, 50), pct(ms, 99)))

direct, host = load("direct.us"), load("host.us")
print("Samba AD DC over ldaps, %d changes per side over %d users, one at a time:" % (len(direct), int(users)))
row("minimal libldap client", direct)
row("through vltadmin-host", host)
print("  host - direct: mean %+.2f ms, p50 %+.2f ms"
      % (statistics.mean(host) - statistics.mean(direct), pct(host, 50) - pct(direct, 50)))
rate = lambda ms: len(ms) / (sum(ms) / 1000.0)
host_rates = [rate(load("host.%d.us" % r)) for r in range(1, rounds + 1)]
direct_rates = [rate(load("direct.%d.us" % r)) for r in range(1, rounds + 1)]
benchlib.emit("directory", "Samba over ldaps, one at a time", "changes/s", host_rates, direct_rates,
              "minimal libldap client", details=details)

import os
if os.path.exists(work + "/parallel.txt"):
    n, dwall, hwall = open(work + "/parallel.txt").read().split()
    dpar, hpar = load("direct-par.us"), load("host-par.us")
    print("%s at a time, %d changes per side:" % (n, len(dpar)))
    for label, ms, wall in (("minimal libldap client", dpar, float(dwall)),
                            ("through vltadmin-host", hpar, float(hwall))):
        print("  %-28s %7.2f changes/s  mean %6.2f ms  p50 %6.2f ms  p99 %6.2f ms"
              % (label, len(ms) / wall, statistics.mean(ms), pct(ms, 50), pct(ms, 99)))

# Per-step times from the trace records (receipt time at the collector):
# 10 entry, 11 findDN, 13 bindIADsUser, 20 performChange, 15 getBadPwdCount,
# 21 count before read, 22 change status, 27 count after (refusals only).
def stamp(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ").timestamp() * 1000.0

changes, current = [], None
for line in open(work + "/trace.txt"):
    fields = line.split()
    if len(fields) < 5 or not fields[4].isdigit():
        continue
    number, t = int(fields[4]), stamp(fields[0])
    if number == 10:
        current = {10: t}
        changes.append(current)
    elif current is not None and number not in current:
        current[number] = t
steps = [("findDN", 11, 13), ("bindIADsUser", 13, 20), ("getBadPwdCount before", 20, 21),
         ("change (ChangePassword)", 21, 22)]
complete = [c for c in changes if all(n in c for n in (10, 11, 13, 20, 21, 22))]
traced = load("traced.us")
print("Directory back end, per step (vltqtr record times, %d traced changes, mean / p50):" % len(complete))
if complete:
    for label, a, b in steps:
        d = [c[b] - c[a] for c in complete]
        print("  %-28s %6.2f / %6.2f ms" % (label, statistics.mean(d), pct(d, 50)))
    after = [c[27] - c[26] for c in changes if 26 in c and 27 in c]
    print("  %-28s %s" % ("getBadPwdCount after",
          "%6.2f ms" % statistics.mean(after) if after else "not run (only after a refused change)"))
    backend = [c[22] - c[10] for c in complete]
    print("  %-28s %6.2f / %6.2f ms" % ("back end total", statistics.mean(backend), pct(backend, 50)))
    print("  %-28s %6.2f ms (traced pass: %.2f ms per change)"
          % ("outside the back end", statistics.mean(traced) - statistics.mean(backend), statistics.mean(traced)))
else:
    print("  no complete trace sequences recorded")
PY
