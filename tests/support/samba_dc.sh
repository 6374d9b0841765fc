#!/usr/bin/env bash
# A Samba Active Directory domain controller on loopback, for tests: LDAP on
# 127.0.0.1:389 and ldaps on 636 (DIR/tls/ca.pem signs its certificate,
# DIR/tls/other-ca.pem does not), the KDC and kpasswd on the ports given
# (88 and 464 by default).
#   samba_dc.sh start DIR [KDC_PORT KPASSWD_PORT]
#   samba_dc.sh stop DIR
#   samba_dc.sh restart DIR   ends what is left of samba and starts it again
# start provisions the realm EXAMPLE.TEST (NetBIOS domain EXAMPLE) in DIR
# (new or empty), starts samba and waits until it answers. Exit 77 when Samba
# is not installed. Policy: complexity on, length 7, history 24, minimum age
# 0, lockout after 5 failures. Users: alice (Alice#Pass1), carol
# (Carol#Pass1), and bob (Bob#Pass12) under a password settings object with
# a minimum age of one day, so bob's first change is "too soon".
# Administrator's password is "Adm1n!Passw0rd"; DIR/service.keytab holds the
# keys of the service identity vltsvc, DIR/krb5.conf points at the KDC.
# stop ends samba and all its children.
set -euo pipefail
REALM=EXAMPLE.TEST

# A process that has ended but is not yet reaped (a zombie) counts as gone.
alive() {
  local state
  state=$(grep '^State:' "/proc/$1/status" 2>/dev/null) || return 1
  [[ $state != *"Z ("* ]]
}

descendants() {
  local child
  for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
    echo "$child"
    descendants "$child"
  done
}

stop() {
  local dir=$1 pid pids
  [ -f "$dir/samba.pid" ] || return 0
  pid=$(cat "$dir/samba.pid")
  pids="$pid $(descendants "$pid" | tr '\n' ' ')"
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 100); do
    local any=0
    for p in $pids; do alive "$p" && any=1; done
    [ $any -eq 0 ] && break
    sleep 0.1
  done
  for p in $pids; do alive "$p" && kill -KILL "$p" 2>/dev/null || true; done
  rm -f "$dir/samba.pid"
}

port_open() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

. "$(dirname "$0")/certificates.sh"

start() {
  local dir=$1 kdc_port=${2:-88} kpasswd_port=${3:-464}
  for program in samba samba-tool; do
    command -v "$program" >/dev/null 2>&1 || [ -x "/usr/sbin/$program" ] || {
      echo "samba_dc.sh: $program is not installed (Debian: samba samba-dsdb-modules samba-vfs-modules samba-ad-provision winbind)" >&2
      exit 77
    }
  done
  [ -d /usr/share/samba/setup ] || {
    echo "samba_dc.sh: the provision templates are missing (Debian: samba-ad-provision)" >&2
    exit 77
  }
  export PATH="$PATH:/usr/sbin"
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  local dc=$dir/dc t=$dir/tls
  local conf=$dc/etc/smb.conf
  mkdir -p "$dc/log" "$dc/run"
  certificates "$t" dc1 dc1.example.test DNS:dc1.example.test,DNS:localhost,IP:127.0.0.1
  printf '[global]\n' > "$dir/seed-smb.conf"
  samba-tool domain provision -s "$dir/seed-smb.conf" --targetdir="$dc" \
    --realm=$REALM --domain=EXAMPLE --server-role=dc --dns-backend=NONE \
    --host-name=dc1 --host-ip=127.0.0.1 --adminpass='Adm1n!Passw0rd' \
    --option="netbios name = DC1" --option="interfaces = lo" --option="bind interfaces only = yes" \
    --option="disable netbios = yes" --option="pid directory = $dc/run" \
    --option="ncalrpc dir = $dc/run/ncalrpc" --option="log file = $dc/log/log.%m" \
    --option="log level = 1" --option="prefork children = 1" > "$dir/provision.log" 2>&1 || {
      cat "$dir/provision.log" >&2
      exit 1
    }
  mkdir -p "$dc/cache"
  local services="\1server services = s3fs, rpc, ldap, cldap, kdc, drepl, winbindd, kcc\n"
  services+="\1krb5 port = $kdc_port\n\1kpasswd port = $kpasswd_port\n"
  services+="\1ldap server require strong auth = allow_sasl_over_tls\n\1tls enabled = yes\n"
  # RPC end points above the kernel's ephemeral ports (32768-60999), which
  # other tests' connections may hold at any moment.
  services+="\1rpc server dynamic port range = 61000-61999\n"
  services+="\1tls keyfile = $t/dc1.key\n\1tls certfile = $t/dc1.pem\n\1tls cafile = $t/ca.pem"
  sed -i "s|^\([[:space:]]*\)server services = .*|$services|" "$conf"
  st() { samba-tool "$@" -s "$conf" > /dev/null; }
  st domain passwordsettings set --min-pwd-age=0 --account-lockout-threshold=5 --complexity=on \
    --min-pwd-length=7 --history-length=24
  st user create alice 'Alice#Pass1'
  st user create carol 'Carol#Pass1'
  st user create bob 'Bob#Pass12'
  st domain passwordsettings pso create soon 10 --min-pwd-age=1 --complexity=on --min-pwd-length=7 \
    --history-length=24 --account-lockout-threshold=5
  st domain passwordsettings pso apply soon bob
  # A service identity with its keys in a keytab, for SASL GSSAPI binds to
  # ldaps://127.0.0.1 (the LDAP principal is named after the URI's host).
  st user create vltsvc 'Svc#Passw0rd1'
  st spn add ldap/127.0.0.1 'DC1$'
  st domain exportkeytab "$dir/service.keytab" --principal=vltsvc@EXAMPLE.TEST
  chmod 600 "$dir/service.keytab"
  printf '[libdefaults]\n\tdefault_realm = EXAMPLE.TEST\n\tdns_lookup_realm = false\n\tdns_lookup_kdc = false\n\trdns = false\n\tdns_canonicalize_hostname = false\n\tudp_preference_limit = 1\n[realms]\n\tEXAMPLE.TEST = {\n\t\tkdc = 127.0.0.1:%s\n\t}\n' "$kdc_port" > "$dir/krb5.conf"
  echo "$kdc_port $kpasswd_port" > "$dir/ports"
  launch "$dir" "$kdc_port" "$kpasswd_port"
}

# Starts samba on a provisioned DIR and waits until it answers.
launch() {
  local dir=$1 kdc_port=$2 kpasswd_port=$3
  local dc=$dir/dc t=$dir/tls
  nohup samba -s "$dc/etc/smb.conf" -F --no-process-group -M prefork > "$dc/log/samba.stdout" 2>&1 &
  echo $! > "$dir/samba.pid"
  for _ in $(seq 600); do
    if port_open "$kdc_port" && port_open "$kpasswd_port" &&
       LDAPTLS_CACERT="$t/ca.pem" ldapsearch -x -H ldaps://127.0.0.1/ -b '' -s base dnsHostName >/dev/null 2>&1; then
      return 0
    fi
    alive "$(cat "$dir/samba.pid")" || {
      echo "samba_dc.sh: samba ended" >&2
      tail -n 30 "$dc/log/samba.stdout" "$dc/log/"log.* >&2 2>/dev/null || true
      exit 1
    }
    sleep 0.1
  done
  echo "samba_dc.sh: samba did not answer in time" >&2
  stop "$dir"
  exit 1
}

case "${1:-}" in
  start) [ $# -eq 2 ] || [ $# -eq 4 ] || { echo "usage: samba_dc.sh start DIR [KDC_PORT KPASSWD_PORT]" >&2; exit 2; }
         start "$2" "${3:-}" "${4:-}" ;;
  stop) [ $# -eq 2 ] || { echo "usage: samba_dc.sh stop DIR" >&2; exit 2; }
        stop "$2" ;;
  restart) [ $# -eq 2 ] || { echo "usage: samba_dc.sh restart DIR" >&2; exit 2; }
           export PATH="$PATH:/usr/sbin"
           stop "$2"
           read -r kdc_port kpasswd_port < "$2/ports"
           launch "$2" "$kdc_port" "$kpasswd_port" ;;
  *) echo "usage: samba_dc.sh start DIR [KDC_PORT KPASSWD_PORT] | stop DIR | restart DIR" >&2; exit 2 ;;
esac
