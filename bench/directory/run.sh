#!/usr/bin/env bash
# Time per directory password change through vltadmin-host (HTTP request,
# name translation, user bind, bad-password count, change) against the
# same change made directly with ldappasswd (bind as the user, password
# modify with the policy control), both against one private slapd with the
# password policy on loopback, in this run.
#
#   bench/directory/run.sh [BUILD_DIR]      (default: build)
#
# Environment: CHANGES (100) changes per side; each side cycles one user
# through five passwords, so the history of three never refuses one.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
SRC="$(cd "$HERE/../.." && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
CHANGES="${CHANGES:-100}"
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
  --extension "/Scripts/vltadmin/vltadmin.dll=$BUILD/bin/libvltadmin.so" 2>"$WORK/host.log" &
HOST_PID=$!
for _ in $(seq 1 100); do grep -q "listening on" "$WORK/host.log" && break; sleep 0.05; done

PASSWORDS=("Passw0rd!" "Bench-Pass1" "Bench-Pass2" "Bench-Pass3" "Bench-Pass4")
body() {
  printf '<?xml version="1.0" encoding="UTF-8"?><AdminProtocol version="1.0"><RequestChangePassword><UserName>%s</UserName><OldPassword>%s</OldPassword><NewPassword>%s</NewPassword></RequestChangePassword></AdminProtocol>' "$1" "$2" "$3"
}

vltadmin_side() {
  for i in $(seq 0 $((CHANGES - 1))); do
    old=${PASSWORDS[$((i % 5))]} new=${PASSWORDS[$(((i + 1) % 5))]}
    out=$(curl -s -H 'Content-Type: text/xml' --data-binary "$(body alice@example.test "$old" "$new")" \
      "http://127.0.0.1:$HTTP_PORT/Scripts/vltadmin/vltadmin.dll")
    case "$out" in *ErrorId*) echo "vltadmin change $i failed: $out" >&2; exit 1 ;; esac
  done
}

ldappasswd_side() {
  dn=uid=carol,ou=people,dc=example,dc=test
  for i in $(seq 0 $((CHANGES - 1))); do
    old=${PASSWORDS[$((i % 5))]} new=${PASSWORDS[$(((i + 1) % 5))]}
    ldappasswd -x -H "ldap://127.0.0.1:$LDAP_PORT/" -D "$dn" -w "$old" -a "$old" -s "$new" -e ppolicy "$dn" >/dev/null
  done
}

seconds() { local t0 t1; t0=$(date +%s.%N); "$@"; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }
T_VLT=$(seconds vltadmin_side)
T_PEER=$(seconds ldappasswd_side)
printf 'changes per side: %d\n' "$CHANGES"
printf 'vltadmin-host (curl per change):  %.2f ms per change\n' "$(echo "$T_VLT * 1000 / $CHANGES" | bc -l)"
printf 'ldappasswd (process per change):  %.2f ms per change\n' "$(echo "$T_PEER * 1000 / $CHANGES" | bc -l)"
printf 'ratio vltadmin / ldappasswd:      %.2f\n' "$(echo "$T_VLT / $T_PEER" | bc -l)"
