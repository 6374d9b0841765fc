#!/usr/bin/env bash
# Password changes per second through vltadmin-host against a Samba AD DC
# over Kerberos, beside a minimal libkrb5 client (krb5_change_client) doing
# the same number of changes directly, in the same run, in ROUNDS blocks
# of alternating order. Prints both rates per block and the median of the
# per-block ratios (host / direct): what the service adds. Every change must
# succeed on both sides.
#   bench/accounts/kerberos_run.sh [BUILD_DIR] [CHANGES]
# Environment: ROUNDS (3).
# Needs root and Samba (see tests/support/samba_dc.sh); loopback only.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${1:-build}
COUNT=${2:-30}
ROUNDS=${ROUNDS:-3}
PER_ROUND=$(((COUNT + ROUNDS - 1) / ROUNDS))
LIB=bench/lib/benchlib.py
BIN=$BUILD/bin
WORK=$(mktemp -d /tmp/vltkrb-bench-XXXXXX)
HOST_PID=
cleanup() {
  [ -n "$HOST_PID" ] && kill "$HOST_PID" 2>/dev/null && wait "$HOST_PID" 2>/dev/null || true
  tests/support/samba_dc.sh stop "$WORK/samba" || true
  rm -rf "$WORK"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
KDC_PORT=$(free_port)
KPASSWD_PORT=$(free_port)
HTTP_PORT=$(free_port)
tests/support/samba_dc.sh start "$WORK/samba" "$KDC_PORT" "$KPASSWD_PORT"

cat > "$WORK/krb5.conf" <<CONF
[libdefaults]
    default_realm = EXAMPLE.TEST
    dns_lookup_kdc = false
    dns_lookup_realm = false
    rdns = false
    udp_preference_limit = 1
[realms]
    EXAMPLE.TEST = {
        kdc = 127.0.0.1:$KDC_PORT
        kpasswd_server = 127.0.0.1:$KPASSWD_PORT
    }
CONF
mkdir -p "$WORK/root/System32"
cp data/vltxmlss.txt "$WORK/root/System32/"
cat > "$WORK/bench.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install]
"Location"="$WORK/root"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Accounts\\Domains\\EXAMPLE]
"Provider"="kerberos"
"Realm"="EXAMPLE.TEST"
"Kdc"="127.0.0.1:$KDC_PORT"
"KpasswdServer"="127.0.0.1:$KPASSWD_PORT"
REG
"$BIN/vltadmin-host" --registry "$WORK/bench.reg" --listen "127.0.0.1:$HTTP_PORT" > "$WORK/host.log" 2>&1 &
HOST_PID=$!
for _ in $(seq 100); do grep -q "listening on" "$WORK/host.log" && break; sleep 0.1; done

# Direct: carol, Carol#Pass1 -> D1#Pass1 -> ... ; through the host: alice,
# Alice#Pass1 -> H1#Pass1 -> ..., one curl process with keep-alive per block.
direct_old='Carol#Pass1'
host_old='Alice#Pass1'
direct_block() {  # ROUND -> changes/s
  KRB5_CONFIG="$WORK/krb5.conf" "$BIN/krb5_change_client" EXAMPLE.TEST "127.0.0.1:$KDC_PORT" \
    "127.0.0.1:$KPASSWD_PORT" carol "$direct_old" "D$1#Pass" "$PER_ROUND" ||
    { echo "BENCHMARK FAILED: a direct change failed" >&2; return 1; }
}
host_block() {  # ROUND -> changes/s
  local args=() old=$host_old new i start end answers
  for i in $(seq "$PER_ROUND"); do
    new="H$1#Pass$i"
    body="$WORK/change$1-$i.xml"
    printf '<?xml version="1.0"?><AdminProtocol version="1.0"><RequestChangePassword><UserName>alice</UserName><Domain type="NT">EXAMPLE</Domain><OldPassword>%s</OldPassword><NewPassword>%s</NewPassword></RequestChangePassword></AdminProtocol>' "$old" "$new" > "$body"
    [ "$i" -gt 1 ] && args+=(--next)
    args+=(-s -H 'Content-Type: text/xml' --data-binary "@$body" "http://127.0.0.1:$HTTP_PORT/Scripts/vltadmin/vltadmin.dll")
    old=$new
  done
  start=$(date +%s.%N)
  curl "${args[@]}" > "$WORK/answers$1.xml"
  end=$(date +%s.%N)
  answers=$(grep -o "<ResponseChangePassword" "$WORK/answers$1.xml" | wc -l)
  if [ "$answers" != "$PER_ROUND" ] || grep -q "<ErrorId>" "$WORK/answers$1.xml"; then
    echo "BENCHMARK FAILED: of $PER_ROUND changes through the host, $answers answered:" >&2
    head -c 600 "$WORK/answers$1.xml" >&2
    return 1
  fi
  python3 -c "print('%.3f' % ($PER_ROUND / ($end - $start)))"
}

LOAD=$(python3 "$LIB" load-start)
HOST_RATES="" DIRECT_RATES=""
for r in $(seq "$ROUNDS"); do
  if [ $((r % 2)) = 1 ]; then
    d=$(direct_block "$r"); h=$(host_block "$r")
  else
    h=$(host_block "$r"); d=$(direct_block "$r")
  fi
  direct_old="D$r#Pass$PER_ROUND" host_old="H$r#Pass$PER_ROUND"
  HOST_RATES="$HOST_RATES $h" DIRECT_RATES="$DIRECT_RATES $d"
done
DETAILS=$(python3 "$LIB" load-finish "$LOAD")
echo "Samba AD DC over Kerberos, $PER_ROUND changes per side in each of $ROUNDS blocks, sequential:"
echo "  through vltadmin-host changes/s:$HOST_RATES"
echo "  minimal libkrb5 client changes/s:$DIRECT_RATES"
python3 "$LIB" emit accounts "Samba over Kerberos, one at a time" "changes/s" higher \
  "minimal libkrb5 client" "$HOST_RATES" "$DIRECT_RATES" "$DETAILS"
