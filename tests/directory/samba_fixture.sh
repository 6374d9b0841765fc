#!/bin/sh
# A private Samba Active Directory domain controller on loopback (realm
# EXAMPLE.TEST; LDAP on 127.0.0.1:389, ldaps on 636).
#   samba_fixture.sh start DIR   provisions in DIR, with DIR/tls/ca.pem
#                                signing the server's certificate and
#                                DIR/tls/other-ca.pem not, creates alice
#                                ("Alice#Pass1") and bob ("Bob#Pass12"),
#                                starts samba and waits until it answers
#   samba_fixture.sh stop DIR    stops samba and all its children
#   samba_fixture.sh pause DIR / resume DIR   SIGSTOP / SIGCONT the DC
# Administrator's password is "Adm1n!Passw0rd".
set -eu
cmd=$1 dir=$2
conf=$dir/dc/etc/smb.conf

descendants() {
  for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
    echo "$child"
    descendants "$child"
  done
}

stop() {
  [ -f "$dir/samba.pid" ] || return 0
  pid=$(cat "$dir/samba.pid")
  all="$pid $(descendants "$pid")"
  kill -CONT $all 2>/dev/null || true
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do
    alive=
    for p in $all; do kill -0 "$p" 2>/dev/null && alive=1; done
    [ -z "$alive" ] && break
    sleep 0.1
  done
  kill -KILL $all 2>/dev/null || true
  rm -f "$dir/samba.pid"
}

case "$cmd" in
stop) stop; exit 0 ;;
pause) kill -STOP $(cat "$dir/samba.pid") $(descendants "$(cat "$dir/samba.pid")"); exit 0 ;;
resume) kill -CONT $(cat "$dir/samba.pid") $(descendants "$(cat "$dir/samba.pid")"); exit 0 ;;
esac

dc=$dir/dc t=$dir/tls
mkdir -p "$dc/log" "$dc/run" "$t"
for ca in ca other-ca; do
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$t/$ca.key" -out "$t/$ca.pem" -days 2 \
    -subj "/CN=Test $ca" -addext 'basicConstraints=critical,CA:TRUE' \
    -addext 'keyUsage=critical,keyCertSign,cRLSign' 2>/dev/null
done
openssl req -newkey rsa:2048 -nodes -keyout "$t/dc1.key" -out "$t/dc1.csr" -subj '/CN=dc1.example.test' 2>/dev/null
printf 'subjectAltName=DNS:dc1.example.test,DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' > "$t/ext.cnf"
openssl x509 -req -in "$t/dc1.csr" -CA "$t/ca.pem" -CAkey "$t/ca.key" -CAcreateserial \
  -out "$t/dc1.pem" -days 2 -extfile "$t/ext.cnf" 2>/dev/null
chmod 600 "$t"/*.key

printf '[global]\n' > "$dir/seed-smb.conf"
samba-tool domain provision -s "$dir/seed-smb.conf" --targetdir="$dc" \
  --realm=EXAMPLE.TEST --domain=EXAMPLE --server-role=dc --dns-backend=NONE \
  --host-name=dc1 --host-ip=127.0.0.1 --adminpass='Adm1n!Passw0rd' \
  --option="netbios name = DC1" --option="interfaces = lo" --option="bind interfaces only = yes" \
  --option="disable netbios = yes" --option="pid directory = $dc/run" \
  --option="ncalrpc dir = $dc/run/ncalrpc" --option="log file = $dc/log/log.%m" \
  --option="log level = 1" --option="prefork children = 1" >"$dir/provision.log" 2>&1
mkdir -p "$dc/cache"
sed -i "s|^\s*server services = .*|\tserver services = s3fs, rpc, ldap, cldap, kdc, drepl, winbindd, kcc\n\tldap server require strong auth = allow_sasl_over_tls\n\ttls enabled = yes\n\ttls keyfile = $t/dc1.key\n\ttls certfile = $t/dc1.pem\n\ttls cafile = $t/ca.pem|" "$conf"
grep -q "tls keyfile" "$conf" || sed -i "s|^\[global\]|[global]\n\tserver services = s3fs, rpc, ldap, cldap, kdc, drepl, winbindd, kcc\n\tldap server require strong auth = allow_sasl_over_tls\n\ttls enabled = yes\n\ttls keyfile = $t/dc1.key\n\ttls certfile = $t/dc1.pem\n\ttls cafile = $t/ca.pem|" "$conf"

st() { samba-tool "$@" -s "$conf" >/dev/null; }
st domain passwordsettings set --min-pwd-age=0 --account-lockout-threshold=5
st user create alice 'Alice#Pass1' --given-name=Alice --surname=Liddell --mail-address=alice@example.test
st user create bob 'Bob#Pass12'
# A service identity with its keys in a keytab, for SASL GSSAPI binds to
# ldaps://127.0.0.1 (the LDAP principal is named after the URI's host).
st user create vltsvc 'Svc#Passw0rd1'
st spn add ldap/127.0.0.1 'DC1$'
st domain exportkeytab "$dir/service.keytab" --principal=vltsvc@EXAMPLE.TEST
chmod 600 "$dir/service.keytab"
printf '[libdefaults]\n\tdefault_realm = EXAMPLE.TEST\n\tdns_lookup_realm = false\n\tdns_lookup_kdc = false\n\trdns = false\n\tdns_canonicalize_hostname = false\n\tudp_preference_limit = 1\n[realms]\n\tEXAMPLE.TEST = {\n\t\tkdc = 127.0.0.1\n\t}\n' > "$dir/krb5.conf"

samba -s "$conf" -F --no-process-group -M prefork >"$dc/log/samba.stdout" 2>&1 &
echo $! > "$dir/samba.pid"
for _ in $(seq 1 600); do
  if LDAPTLS_CACERT="$t/ca.pem" ldapsearch -x -H ldaps://127.0.0.1/ -b '' -s base dnsHostName >/dev/null 2>&1; then
    exit 0
  fi
  kill -0 "$(cat "$dir/samba.pid")" 2>/dev/null || break
  sleep 0.1
done
stop
exit 1
