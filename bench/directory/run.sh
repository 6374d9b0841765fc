#!/usr/bin/env bash
# Time per directory password change through vltadmin-host (HTTP request,
# name translation, user bind, bad-password count, change) against the
# same change made directly with ldappasswd (bind as the user, password
# modify with the policy control), both against one private slapd with the
# password policy on loopback, in this run. The sides take turns in ROUNDS
# blocks (the first side alternating); the ratio host / ldappasswd of the
# time per change is taken per block. Every change must succeed on both
# sides (an ErrorId answer or a failed ldappasswd fails the benchmark).
#
#   bench/directory/run.sh [BUILD_DIR]      (default: build)
#
# Environment: CHANGES (100) changes per side, ROUNDS (4); each side cycles
# one user through five passwords, so the history of three never refuses
# one.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
SRC="$(cd "$HERE/../.." && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
CHANGES="${CHANGES:-100}"
ROUNDS="${ROUNDS:-4}"
PER_ROUND=$(((CHANGES + ROUNDS - 1) / ROUNDS))
LIB="$HERE/../lib/benchlib.py"
WORK="$(mktemp -d /tmp/vlt_bench_directory.XXXXXX)"
FIXTURE="$SRC/tests/directory/slapd_fixture.sh"
HOST_PID=""
cleanup() {
  [ -n "$HOST_PID" ] && kill "$HOST_PID" 2>/dev/null && wait "$HOST_PID" 2>/dev/null
  "$FIXTURE" stop "$WORK/slapd" || true
  rm -rf "$WORK"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

LDAP_PORT=$(free_port)
"$FIXTURE" start "$WORK/slapd" "$LDAP_PORT"
printf 'rootsecret\n' > "$WORK/bind.secret"
chmod 600 "$WORK/bind.secret"
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
"Servers"="ldap://127.0.0.1:$LDAP_PORT/"
"BindDN"="cn=admin,dc=example,dc=test"
"BindPasswordFile"="$WORK/bind.secret"
"AllowPlainLoopback"=dword:00000001
REG

HTTP_PORT=$(free_port)
"$BUILD/bin/vltadmin-host" --registry "$WORK/vltadmin.reg" --listen "127.0.0.1:$HTTP_PORT" \
  >"$WORK/host.log" 2>&1 &
HOST_PID=$!
for _ in $(seq 1 100); do grep -q "listening on" "$WORK/host.log" && break; sleep 0.05; done

PASSWORDS=("Passw0rd!" "Bench-Pass1" "Bench-Pass2" "Bench-Pass3" "Bench-Pass4")
body() {
  printf '<?xml version="1.0" encoding="UTF-8"?><AdminProtocol version="1.0"><RequestChangePassword><UserName>%s</UserName><OldPassword>%s</OldPassword><NewPassword>%s</NewPassword></RequestChangePassword></AdminProtocol>' "$1" "$2" "$3"
}

# Each side keeps its user's place in the cycle of passwords across blocks.
N_VLT=0
N_PEER=0
vltadmin_side() {
  for _ in $(seq 1 "$PER_ROUND"); do
    old=${PASSWORDS[$((N_VLT % 5))]} new=${PASSWORDS[$(((N_VLT + 1) % 5))]}
    out=$(curl -s -H 'Content-Type: text/xml' --data-binary "$(body alice@example.test "$old" "$new")" \
      "http://127.0.0.1:$HTTP_PORT/Scripts/vltadmin/vltadmin.dll")
    case "$out" in
      *ErrorId*|"") echo "BENCHMARK FAILED: vltadmin change $N_VLT failed: $out" >&2; exit 1 ;;
      *"<ResponseChangePassword"*) ;;
      *) echo "BENCHMARK FAILED: vltadmin change $N_VLT: no response document: $out" >&2; exit 1 ;;
    esac
    N_VLT=$((N_VLT + 1))
  done
}

ldappasswd_side() {
  dn=uid=carol,ou=people,dc=example,dc=test
  for _ in $(seq 1 "$PER_ROUND"); do
    old=${PASSWORDS[$((N_PEER % 5))]} new=${PASSWORDS[$(((N_PEER + 1) % 5))]}
    ldappasswd -x -H "ldap://127.0.0.1:$LDAP_PORT/" -D "$dn" -w "$old" -a "$old" -s "$new" -e ppolicy "$dn" >/dev/null ||
      { echo "BENCHMARK FAILED: ldappasswd change $N_PEER failed" >&2; exit 1; }
    N_PEER=$((N_PEER + 1))
  done
}

# Milliseconds per change of one block of a side (in a subshell: the caller
# advances the side's counter).
block_ms() {
  local t0 t1
  t0=$(date +%s.%N)
  "$1"
  t1=$(date +%s.%N)
  echo "($t1 - $t0) * 1000 / $PER_ROUND" | bc -l
}

LOAD=$(python3 "$LIB" load-start)
VLT_MS="" PEER_MS=""
for r in $(seq 1 "$ROUNDS"); do
  if [ $((r % 2)) = 1 ]; then
    v=$(block_ms vltadmin_side); N_VLT=$((N_VLT + PER_ROUND))
    p=$(block_ms ldappasswd_side); N_PEER=$((N_PEER + PER_ROUND))
  else
    p=$(block_ms ldappasswd_side); N_PEER=$((N_PEER + PER_ROUND))
    v=$(block_ms vltadmin_side); N_VLT=$((N_VLT + PER_ROUND))
  fi
  VLT_MS="$VLT_MS $v" PEER_MS="$PEER_MS $p"
done
DETAILS=$(python3 "$LIB" load-finish "$LOAD")
echo "slapd with the password policy, $PER_ROUND changes per side in each of $ROUNDS alternating blocks:"
printf '  vltadmin-host (curl per change) ms per change:%s\n' "$(printf ' %.2f' $VLT_MS)"
printf '  ldappasswd (process per change) ms per change:%s\n' "$(printf ' %.2f' $PEER_MS)"
python3 "$LIB" emit directory "slapd change, one at a time" "ms per change" lower \
  "ldappasswd" "$VLT_MS" "$PEER_MS" "$DETAILS"
