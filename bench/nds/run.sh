#!/usr/bin/env bash
# NDS password changes through vltadmin-host (HTTP, the extension, the NDS
# client library libnetwin32.so) against the same changes made directly by
# a minimal libldap client (nds_ldap_client: bind as the user, password
# modify, both with the password-policy control, on one kept-open
# connection), on one private slapd on loopback (tests/nds/nds_tree.sh), in
# alternating blocks of the same run. Each round runs, for each side, a
# block of CLIENTS clients at once (the changes/s a self-service page with
# several users meets) and a block of one client (the latency of a single
# change). Every answer is checked (status 200 and no ErrorId; LDAP result
# 0), and the last passwords of all users must bind at the end.
#
#   bench/nds/run.sh [BUILD_DIR]      (default: build)
#
# Environment: CLIENTS (8) clients at once, each with USERS_PER_CLIENT (2)
# users of its own, CHANGES (100) changes per client and block, ROUNDS (6)
# rounds. Prints per round the changes/s of both sides and their ratio,
# for both kinds of block, then the median ratios with their spread, and
# the p50 latency of one change on each side with the difference.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
SRC="$(cd "$HERE/../.." && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
CLIENTS="${CLIENTS:-8}"
USERS_PER_CLIENT="${USERS_PER_CLIENT:-2}"
USERS=$((CLIENTS * USERS_PER_CLIENT))
CHANGES="${CHANGES:-100}"
ROUNDS="${ROUNDS:-6}"
FIXTURE="$SRC/tests/nds/nds_tree.sh"
WORK="$(mktemp -d /tmp/vlt_bench_nds.XXXXXX)"
HOST_PID=""
cleanup() {
  if [ -n "$HOST_PID" ]; then kill "$HOST_PID" 2>/dev/null; wait "$HOST_PID" 2>/dev/null || true; fi
  sh "$FIXTURE" stop "$WORK/slapd" || true
  rm -rf "$WORK"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
LDAP_PORT=$(free_port)
MEMBERS=1 sh "$FIXTURE" start "$WORK/slapd" "$LDAP_PORT"
BASE="ou=sales,o=acme,dc=tree,dc=test"
for side in h p; do
  for i in $(seq 1 "$USERS"); do
    printf 'dn: cn=%s%d,%s\nchangetype: add\nobjectClass: inetOrgPerson\ncn: %s%d\nsn: Bench\nuserPassword: Passw0rd!\n\n' \
      "$side" "$i" "$BASE" "$side" "$i"
  done
done | sh "$FIXTURE" ldif "$WORK/slapd"

mkdir -p "$WORK/root/System32"
cp "$SRC/data/vltxmlss.txt" "$WORK/root/System32/"
cat > "$WORK/vltadmin.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install]
"Location"="$WORK/root"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\NDS\\Trees\\ACME]
"Servers"="ldap://127.0.0.1:$LDAP_PORT/"
"RootDN"="dc=tree,dc=test"
"AllowPlainLoopback"=dword:00000001
REG
HTTP_PORT=$(free_port)
"$BUILD/bin/vltadmin-host" --registry "$WORK/vltadmin.reg" --listen "127.0.0.1:$HTTP_PORT" \
  --extension "/Scripts/vltadmin/vltadmin.dll=$BUILD/bin/libvltadmin.so" >"$WORK/host.log" 2>&1 &
HOST_PID=$!
for _ in $(seq 1 100); do grep -q "listening on" "$WORK/host.log" && break; sleep 0.05; done

PASSWORDS=("Passw0rd!" "Bench-Pass1" "Bench-Pass2" "Bench-Pass3" "Bench-Pass4")
declare -A STEP
# The next CHANGES changes of one side's client: its users in turn, each
# through its cycle of five passwords (the history of three never refuses
# one).
changes() {  # side client
  local side=$1 client=$2
  for j in $(seq 0 $((CHANGES - 1))); do
    local u=$((client * USERS_PER_CLIENT + j % USERS_PER_CLIENT + 1))
    local n=${STEP[$side$u]:-0}
    local old=${PASSWORDS[$((n % 5))]} new=${PASSWORDS[$(((n + 1) % 5))]}
    STEP[$side$u]=$((n + 1))
    if [ "$side" = h ]; then
      echo ".h$u.sales.acme ACME $old $new"
    else
      echo "cn=p$u,$BASE $old $new"
    fi
  done
}

run_block() {  # side kind(par|seq) round
  local side=$1 kind=$2 clients=1 pids=()
  [ "$kind" = par ] && clients=$CLIENTS
  for c in $(seq 0 $((clients - 1))); do
    changes "$side" "$c" > "$WORK/input.$c"  # not in a pipe: the steps must stay counted
  done
  for c in $(seq 0 $((clients - 1))); do
    if [ "$side" = h ]; then
      "$BUILD/bin/nds_http_client" "$HTTP_PORT" < "$WORK/input.$c" > "$WORK/$side.$kind.$3.$c" &
    else
      "$BUILD/bin/nds_ldap_client" "ldap://127.0.0.1:$LDAP_PORT/" < "$WORK/input.$c" > "$WORK/$side.$kind.$3.$c" &
    fi
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid"; done
}

# One warm-up round (connections, caches), not counted.
for side in h p; do run_block $side par warm; run_block $side seq warm; done
for r in $(seq 1 "$ROUNDS"); do
  if [ $((r % 2)) -eq 1 ]; then order="h p"; else order="p h"; fi
  for side in $order; do run_block "$side" par "$r"; done
  for side in $order; do run_block "$side" seq "$r"; done
done

# The last password of every user binds on both sides.
for side in h p; do
  for u in $(seq 1 "$USERS"); do
    n=${STEP[$side$u]:-0}
    ldapwhoami -x -H "ldap://127.0.0.1:$LDAP_PORT/" -D "cn=$side$u,$BASE" -w "${PASSWORDS[$((n % 5))]}" >/dev/null
  done
done

python3 - "$WORK" "$ROUNDS" "$CHANGES" "$CLIENTS" "$HERE/../lib" <<'PY'
import statistics, sys
work, rounds, changes, clients = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
sys.path.insert(0, sys.argv[5])
import benchlib
def block(side, kind, r):
    """changes/s of the block (first start to last end) and its latencies."""
    starts, ends, lat = [], [], []
    for c in range(clients if kind == "par" else 1):
        lines = open(f"{work}/{side}.{kind}.{r}.{c}").read().split("\n")
        span = next(l.split() for l in lines if l.startswith("span"))
        starts.append(int(span[1])); ends.append(int(span[2]))
        times = [int(l) for l in lines if l and l[0].isdigit()]
        assert len(times) == changes
        lat += times
    return len(lat) / ((max(ends) - min(starts)) / 1e6), lat
rates = {(s, k): [] for s in "hp" for k in ("par", "seq")}
lat = {"h": [], "p": []}
print(f"round  {clients} at once: vltadmin/s  libldap/s  ratio | one at a time: vltadmin/s  libldap/s  ratio")
for r in range(1, rounds + 1):
    row = []
    for kind in ("par", "seq"):
        (hr, hl), (pr, pl) = block("h", kind, r), block("p", kind, r)
        rates[("h", kind)].append(hr); rates[("p", kind)].append(pr)
        if kind == "seq":
            lat["h"] += hl; lat["p"] += pl
        row.append(f"{hr:10.0f}  {pr:9.0f}  {hr / pr:5.3f}")
    print(f"{r:5d}  {'':9}{row[0]} | {'':13}{row[1]}")
for kind, label in (("par", f"{clients} at once"), ("seq", "one at a time")):
    h, p = rates[("h", kind)], rates[("p", kind)]
    ratios = [a / b for a, b in zip(h, p)]
    print(f"ratio {label} (vltadmin-host / libldap): median {statistics.median(ratios):.3f}, "
          f"spread {min(ratios):.3f}..{max(ratios):.3f}, {rounds} rounds")
p50h, p50p = statistics.median(lat["h"]) / 1000, statistics.median(lat["p"]) / 1000
print(f"p50 latency of one change: vltadmin-host {p50h:.3f} ms, libldap {p50p:.3f} ms, added {p50h - p50p:.3f} ms")
benchlib.emit("nds", f"slapd NDS change, {clients} clients at once", "changes/s", rates[("h", "par")],
              rates[("p", "par")], "minimal libldap client")
benchlib.emit("nds", "slapd NDS change, one at a time", "changes/s", rates[("h", "seq")], rates[("p", "seq")],
              "minimal libldap client", details={"p50_ms_host": p50h, "p50_ms_direct": p50p})
PY
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
