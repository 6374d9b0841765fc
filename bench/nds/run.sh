#!/usr/bin/env bash
# NDS password changes through vltadmin-host (HTTP, the extension, the NDS
# client library libnetwin32.so) against the same changes made directly by
# a minimal libldap client (nds_ldap_client: bind as the user, password
# modify, both with the password-policy control, on one kept-open
# connection), on one private slapd on loopback (tests/nds/nds_tree.sh), in
# alternating blocks of the same run, one change at a time. Every answer is
# checked (status 200 and no ErrorId; LDAP result 0), and the last
# passwords of both sides must bind at the end.
#
#   bench/nds/run.sh [BUILD_DIR]      (default: build)
#
# Environment: USERS (8) users per side, CHANGES (100) changes per block,
# ROUNDS (6) pairs of blocks. Prints per round the changes/s of both sides
# and their ratio, then the median ratio with its spread, and the p50
# latency of each side with the difference.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
SRC="$(cd "$HERE/../.." && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
USERS="${USERS:-8}"
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
"$BUILD/bin/vltadmin-host" --registry "$WORK/vltadmin.reg" --listen "127.0.0.1:$HTTP_PORT" >"$WORK/host.log" 2>&1 &
HOST_PID=$!
for _ in $(seq 1 100); do grep -q "listening on" "$WORK/host.log" && break; sleep 0.05; done

PASSWORDS=("Passw0rd!" "Bench-Pass1" "Bench-Pass2" "Bench-Pass3" "Bench-Pass4")
declare -A STEP
# The next block's changes of one side: users in turn, each through its
# cycle of five passwords (the history of three never refuses one).
changes() {
  local side=$1
  for j in $(seq 0 $((CHANGES - 1))); do
    local u=$((j % USERS + 1)) n=${STEP[$side$((j % USERS + 1))]:-0}
    local old=${PASSWORDS[$((n % 5))]} new=${PASSWORDS[$(((n + 1) % 5))]}
    STEP[$side$u]=$((n + 1))
    if [ "$side" = h ]; then
      echo ".h$u.sales.acme ACME $old $new"
    else
      echo "cn=p$u,$BASE $old $new"
    fi
  done
}

run_block() {  # side round
  changes "$1" > "$WORK/input"  # not in a pipe: the steps must stay counted
  if [ "$1" = h ]; then
    "$BUILD/bin/nds_http_client" "$HTTP_PORT" < "$WORK/input" > "$WORK/h.$2"
  else
    "$BUILD/bin/nds_ldap_client" "ldap://127.0.0.1:$LDAP_PORT/" < "$WORK/input" > "$WORK/p.$2"
  fi
}

# One warm-up block each (connections, caches), not counted.
run_block h warm
run_block p warm
for r in $(seq 1 "$ROUNDS"); do
  if [ $((r % 2)) -eq 1 ]; then run_block h "$r"; run_block p "$r"; else run_block p "$r"; run_block h "$r"; fi
done

# The last password of every user binds on both sides.
for side in h p; do
  for u in $(seq 1 "$USERS"); do
    n=${STEP[$side$u]:-0}
    ldapwhoami -x -H "ldap://127.0.0.1:$LDAP_PORT/" -D "cn=$side$u,$BASE" -w "${PASSWORDS[$((n % 5))]}" >/dev/null
  done
done

python3 - "$WORK" "$ROUNDS" "$CHANGES" "$HERE/../lib" <<'PY'
import statistics, sys
work, rounds, changes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
sys.path.insert(0, sys.argv[4])
import benchlib
def block(side, r):
    lines = open(f"{work}/{side}.{r}").read().split("\n")
    total = next(int(l.split()[1]) for l in lines if l.startswith("total"))
    lat = [int(l) for l in lines if l and not l.startswith("total")]
    assert len(lat) == changes
    return changes / (total / 1e6), lat
ratios, lat = [], {"h": [], "p": []}
host_rates, direct_rates = [], []
print("round  vltadmin/s  libldap/s  ratio")
for r in range(1, rounds + 1):
    (hr, hl), (pr, pl) = block("h", r), block("p", r)
    lat["h"] += hl; lat["p"] += pl
    ratios.append(hr / pr)
    host_rates.append(hr)
    direct_rates.append(pr)
    print(f"{r:5d}  {hr:10.0f}  {pr:9.0f}  {hr / pr:5.3f}")
m = statistics.median(ratios)
p50h, p50p = statistics.median(lat["h"]) / 1000, statistics.median(lat["p"]) / 1000
print(f"ratio (vltadmin-host / libldap): median {m:.3f}, spread {min(ratios):.3f}..{max(ratios):.3f}, {rounds} rounds of {changes} changes")
print(f"p50 latency: vltadmin-host {p50h:.3f} ms, libldap {p50p:.3f} ms, added {p50h - p50p:.3f} ms")
benchlib.emit("nds", "slapd NDS change, one at a time", "changes/s", host_rates, direct_rates,
              "minimal libldap client", details={"p50_ms_host": p50h, "p50_ms_direct": p50p})
PY
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
