#!/usr/bin/env bash
# An MIT Kerberos KDC with its password server on loopback, for tests.
#   kdc.sh start DIR KDC_PORT KPASSWD_PORT KADMIN_PORT
#   kdc.sh stop DIR
#   kdc.sh restart DIR    stops both daemons and starts them again (same realm)
# start builds the realm EXAMPLE.TEST in DIR (which must be empty or new),
# starts krb5kdc and kadmind (which serves kpasswd) on 127.0.0.1 only and
# waits until they answer. Exit 77 when the KDC programs are not installed.
# Principals (password Passw0rd!): alice, carol, dave under the policy pw8
# (length 8, 3 classes, history 3, no minimum life, lockout after 5 failures);
# bob under pw8minlife (the same with a minimum life of one hour, so a brand
# new principal changes "too soon"). admin/admin has adminsecret.
# stop ends both daemons by their recorded process ids.
set -euo pipefail
REALM=EXAMPLE.TEST

# A process that has ended but is not yet reaped (a zombie) counts as gone.
alive() {
  local state
  state=$(grep '^State:' "/proc/$1/status" 2>/dev/null) || return 1
  [[ $state != *"Z ("* ]]
}

stop() {
  local dir=$1 pid name
  for name in kadmind krb5kdc; do
    [ -f "$dir/run/$name.pid" ] || continue
    pid=$(cat "$dir/run/$name.pid")
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 100); do alive "$pid" || break; sleep 0.05; done
    alive "$pid" && kill -KILL "$pid" 2>/dev/null || true
    rm -f "$dir/run/$name.pid"
  done
}

start() {
  local dir=$1 kdc_port=$2 kpasswd_port=$3 kadmin_port=$4
  for program in krb5kdc kadmind kdb5_util kadmin.local kadmin; do
    command -v "$program" >/dev/null 2>&1 || [ -x "/usr/sbin/$program" ] || {
      echo "kdc.sh: $program is not installed (Debian: krb5-kdc krb5-admin-server krb5-user)" >&2
      exit 77
    }
  done
  export PATH="$PATH:/usr/sbin"
  mkdir -p "$dir/db" "$dir/run"
  dir=$(cd "$dir" && pwd)
  cat > "$dir/krb5.conf" <<CONF
[libdefaults]
    default_realm = $REALM
    dns_lookup_kdc = false
    dns_lookup_realm = false
    dns_canonicalize_hostname = false
    rdns = false
    udp_preference_limit = 1
[realms]
    $REALM = {
        kdc = 127.0.0.1:$kdc_port
        admin_server = 127.0.0.1:$kadmin_port
        kpasswd_server = 127.0.0.1:$kpasswd_port
    }
[logging]
    kdc = FILE:$dir/run/kdc.log
    admin_server = FILE:$dir/run/kadmind.log
    default = FILE:$dir/run/krb5.log
CONF
  cat > "$dir/kdc.conf" <<CONF
[kdcdefaults]
    kdc_listen = 127.0.0.1:$kdc_port
    kdc_tcp_listen = 127.0.0.1:$kdc_port
[realms]
    $REALM = {
        database_name = $dir/db/principal
        key_stash_file = $dir/db/stash
        acl_file = $dir/kadm5.acl
        kdc_listen = 127.0.0.1:$kdc_port
        kdc_tcp_listen = 127.0.0.1:$kdc_port
        kadmind_port = $kadmin_port
        kadmind_listen = 127.0.0.1:$kadmin_port
        kpasswd_port = $kpasswd_port
        kpasswd_listen = 127.0.0.1:$kpasswd_port
        master_key_type = aes256-cts-hmac-sha1-96
        supported_enctypes = aes256-cts-hmac-sha1-96:normal aes128-cts-hmac-sha1-96:normal
        default_principal_flags = +preauth
        max_life = 10h 0m 0s
    }
CONF
  echo "*/admin@$REALM *" > "$dir/kadm5.acl"
  export KRB5_CONFIG=$dir/krb5.conf KRB5_KDC_PROFILE=$dir/kdc.conf KRB5RCACHEDIR=$dir/run
  export KRB5CCNAME=FILE:$dir/run/ccache
  kdb5_util create -s -P master -r "$REALM" > "$dir/run/create.log" 2>&1
  kadmin.local -r "$REALM" > "$dir/run/setup.log" 2>&1 <<'ADMIN'
addpol -minlength 8 -minclasses 3 -history 3 -minlife 0 -maxfailure 5 -failurecountinterval 0 -lockoutduration 0 pw8
addpol -minlength 8 -minclasses 3 -history 3 -minlife "1 hour" -maxfailure 5 -failurecountinterval 0 -lockoutduration 0 pw8minlife
addprinc -pw adminsecret admin/admin
addprinc -pw Passw0rd! -policy pw8 alice
addprinc -pw Passw0rd! -policy pw8 carol
addprinc -pw Passw0rd! -policy pw8 dave
addprinc -pw Passw0rd! -policy pw8minlife bob
ADMIN
  run_daemons "$dir"
}

# Starts krb5kdc and kadmind on the realm built in DIR and waits until they
# answer.
run_daemons() {
  local dir=$1
  export PATH="$PATH:/usr/sbin"
  export KRB5_CONFIG=$dir/krb5.conf KRB5_KDC_PROFILE=$dir/kdc.conf KRB5RCACHEDIR=$dir/run
  export KRB5CCNAME=FILE:$dir/run/ccache
  # Each daemon is bounded in time, so none outlives a test run that died.
  timeout 900 krb5kdc -n -r "$REALM" > "$dir/run/krb5kdc.out" 2>&1 &
  echo $! > "$dir/run/krb5kdc.pid"
  timeout 900 kadmind -nofork -r "$REALM" > "$dir/run/kadmind.out" 2>&1 &
  echo $! > "$dir/run/kadmind.pid"
  for _ in $(seq 200); do
    if KRB5CCNAME=MEMORY:probe kadmin -r "$REALM" -p "admin/admin@$REALM" -w adminsecret \
        -q "getprinc -terse alice" > /dev/null 2>&1; then
      return 0
    fi
    for name in krb5kdc kadmind; do
      alive "$(cat "$dir/run/$name.pid")" || {
        echo "kdc.sh: $name ended" >&2
        cat "$dir/run/"*.out "$dir/run/"*.log >&2 2>/dev/null || true
        stop "$dir"
        exit 1
      }
    done
    sleep 0.05
  done
  echo "kdc.sh: the KDC did not answer in time" >&2
  stop "$dir"
  exit 1
}

case "${1:-}" in
  start) [ $# -eq 5 ] || { echo "usage: kdc.sh start DIR KDC_PORT KPASSWD_PORT KADMIN_PORT" >&2; exit 2; }
         start "$2" "$3" "$4" "$5" ;;
  stop) [ $# -eq 2 ] || { echo "usage: kdc.sh stop DIR" >&2; exit 2; }
        stop "$2" ;;
  restart) [ $# -eq 2 ] || { echo "usage: kdc.sh restart DIR" >&2; exit 2; }
           stop "$2"; run_daemons "$(cd "$2" && pwd)" ;;
  *) echo "usage: kdc.sh start DIR KDC_PORT KPASSWD_PORT KADMIN_PORT | stop DIR | restart DIR" >&2; exit 2 ;;
esac
