#!/usr/bin/env bash
# Password changes per second through vltadmin-host against a Samba AD DC
# over Kerberos, beside a minimal libkrb5 client (krb5_change_client) doing
# the same number of changes directly, in the same run. Prints both rates and
# their ratio (host / direct): what the service adds.
#   bench/accounts/kerberos_run.sh [BUILD_DIR] [CHANGES]
# Needs root and Samba (see tests/support/samba_dc.sh); loopback only.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${1:-build}
COUNT=${2:-30}
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
"$BIN/vltadmin-host" --registry "$WORK/bench.reg" --listen "127.0.0.1:$HTTP_PORT" \
  --extension "/Scripts/vltadmin/vltadmin.dll=$BIN/libvltadmin.so" > "$WORK/host.log" 2>&1 &
HOST_PID=$!
for _ in $(seq 100); do grep -q "listening on" "$WORK/host.log" && break; sleep 0.1; done

# Direct: carol, Carol#Pass1 -> Direct#Pass1 -> ... -> Direct#PassN.
direct=$(KRB5_CONFIG="$WORK/krb5.conf" "$BIN/krb5_change_client" EXAMPLE.TEST "127.0.0.1:$KDC_PORT" \
  "127.0.0.1:$KPASSWD_PORT" carol 'Carol#Pass1' 'Direct#Pass' "$COUNT")

# Through the host: alice, the same chain, one curl process with keep-alive.
args=()
old='Alice#Pass1'
for i in $(seq "$COUNT"); do
  new="Host#Pass$i"
  body="$WORK/change$i.xml"
  printf '<?xml version="1.0"?><AdminProtocol version="1.0"><RequestChangePassword><UserName>alice</UserName><Domain type="NT">EXAMPLE</Domain><OldPassword>%s</OldPassword><NewPassword>%s</NewPassword></RequestChangePassword></AdminProtocol>' "$old" "$new" > "$body"
  [ "$i" -gt 1 ] && args+=(--next)
  args+=(-s -H 'Content-Type: text/xml' --data-binary "@$body" "http://127.0.0.1:$HTTP_PORT/Scripts/vltadmin/vltadmin.dll")
  old=$new
done
start=$(date +%s.%N)
curl "${args[@]}" > "$WORK/answers.xml"
end=$(date +%s.%N)
failures=$(grep -c "<ErrorId>" "$WORK/answers.xml" || true)
if [ "$failures" != 0 ]; then
  echo "kerberos_run.sh: $failures of $COUNT changes through the host failed" >&2
  grep -m3 "<ErrorId>" "$WORK/answers.xml" >&2
  exit 1
fi
host=$(python3 -c "print('%.2f' % ($COUNT / ($end - $start)))")
ratio=$(python3 -c "print('%.2f' % ($host / $direct))")
echo "Samba AD DC over Kerberos, $COUNT changes each, sequential:"
echo "  through vltadmin-host: $host changes/s"
echo "  minimal libkrb5 client: $direct changes/s"
echo "  ratio host/direct: $ratio"
