#!/bin/sh
# A private OpenLDAP server on loopback holding an NDS-style tree, with the
# password policy (lockout reported to the user) and computed memberOf.
#   nds_tree.sh start DIR PORT [TLSPORT]
#                         builds the configuration and data in DIR, starts
#                         slapd on 127.0.0.1:PORT (and ldaps on TLSPORT, with
#                         StartTLS on PORT: DIR/tls/ca.pem signs the server's
#                         certificate, DIR/tls/other-ca.pem does not) and
#                         waits until it answers; exits 77 without slapd
#   nds_tree.sh stop DIR  stops it (TERM, then KILL)
#   nds_tree.sh restart DIR
#   nds_tree.sh ldif DIR  applies LDIF from standard input as the rootdn
# [Root] is dc=tree,dc=test, rootdn cn=admin,dc=tree,dc=test / rootsecret.
# Under o=acme: ou=sales with users (cn, password "Passw0rd!"): jsmith, ajones,
# young (no change within 60 s of the last), reset (reset by an administrator,
# must change), grace (expired, grace logins left), expired (expired, none),
# "a*b", "ab", "x,y", "dot.ted"; ou=groups with staff (jsmith, ajones) and
# big (the MEMBERS users m1..mN of ou=many; default 300).
# Three wrong passwords lock a user.
set -eu
cmd=$1 dir=$2
command -v slapd >/dev/null 2>&1 || [ -x /usr/sbin/slapd ] || exit 77
PATH=$PATH:/usr/sbin
base=dc=tree,dc=test

stop() {
  [ -f "$dir/run/slapd.pid" ] || return 0
  pid=$(cat "$dir/run/slapd.pid")
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 1 100); do
    [ -r "/proc/$pid/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$pid/status" || return 0
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null || true
}

start_ready() {
  slapd -F "$dir/slapd.d" -h "$(cat "$dir/listen")"
  for _ in $(seq 1 200); do
    ldapsearch -LLL -x -H "ldap://127.0.0.1:$(cat "$dir/port")/" -b "" -s base namingContexts \
      >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  stop
  return 1
}

case $cmd in
  stop) stop; exit 0 ;;
  restart) stop; start_ready; exit ;;
  ldif) exec ldapmodify -x -H "ldap://127.0.0.1:$(cat "$dir/port")/" -D "cn=admin,$base" -w rootsecret \
          -e relax >/dev/null ;;
esac

port=$3 tlsport=${4:-}
mkdir -p "$dir/slapd.d" "$dir/db" "$dir/run"
tlsconfig= listen="ldap://127.0.0.1:$port/"
if [ -n "$tlsport" ]; then
  t=$dir/tls
  mkdir -p "$t"
  for ca in ca other-ca; do
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$t/$ca.key" -out "$t/$ca.pem" -days 2 \
      -subj "/CN=Test $ca" -addext 'basicConstraints=critical,CA:TRUE' \
      -addext 'keyUsage=critical,keyCertSign,cRLSign' 2>/dev/null
  done
  openssl req -newkey rsa:2048 -nodes -keyout "$t/server.key" -out "$t/server.csr" \
    -subj '/CN=localhost' 2>/dev/null
  printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' > "$t/ext.cnf"
  openssl x509 -req -in "$t/server.csr" -CA "$t/ca.pem" -CAkey "$t/ca.key" -CAcreateserial \
    -out "$t/server.pem" -days 2 -extfile "$t/ext.cnf" 2>/dev/null
  chmod 600 "$t"/*.key
  tlsconfig="olcTLSCACertificateFile: $t/ca.pem
olcTLSCertificateFile: $t/server.pem
olcTLSCertificateKeyFile: $t/server.key"
  listen="$listen ldaps://127.0.0.1:$tlsport/"
fi
rootpw=$(slappasswd -h '{SSHA}' -s rootsecret)
userpw=$(slappasswd -h '{SSHA}' -s 'Passw0rd!')

cat > "$dir/config.ldif" <<LDIF
dn: cn=config
objectClass: olcGlobal
cn: config
olcPidFile: $dir/run/slapd.pid
olcArgsFile: $dir/run/slapd.args
olcLogLevel: none
$tlsconfig

dn: cn=module{0},cn=config
objectClass: olcModuleList
cn: module{0}
olcModulePath: /usr/lib/ldap
olcModuleLoad: back_mdb
olcModuleLoad: ppolicy
olcModuleLoad: dynlist

dn: cn=schema,cn=config
objectClass: olcSchemaConfig
cn: schema

include: file:///etc/ldap/schema/core.ldif
include: file:///etc/ldap/schema/cosine.ldif
include: file:///etc/ldap/schema/nis.ldif
include: file:///etc/ldap/schema/inetorgperson.ldif
include: file:///etc/ldap/schema/dyngroup.ldif

dn: olcDatabase={-1}frontend,cn=config
objectClass: olcDatabaseConfig
objectClass: olcFrontendConfig
olcDatabase: {-1}frontend

dn: olcDatabase={0}config,cn=config
objectClass: olcDatabaseConfig
olcDatabase: {0}config
olcAccess: {0}to * by * none

dn: olcDatabase={1}mdb,cn=config
objectClass: olcDatabaseConfig
objectClass: olcMdbConfig
olcDatabase: {1}mdb
olcSuffix: $base
olcRootDN: cn=admin,$base
olcRootPW: $rootpw
olcDbDirectory: $dir/db
olcDbMaxSize: 104857600
olcDbNoSync: TRUE
olcDbIndex: objectClass eq
olcDbIndex: cn eq
olcDbIndex: member eq
olcAccess: {0}to attrs=userPassword by self write by anonymous auth by * none
olcAccess: {1}to * by * read

dn: olcOverlay={0}ppolicy,olcDatabase={1}mdb,cn=config
objectClass: olcOverlayConfig
objectClass: olcPPolicyConfig
olcOverlay: {0}ppolicy
olcPPolicyDefault: cn=default,ou=policies,$base
olcPPolicyHashCleartext: TRUE
olcPPolicyUseLockout: TRUE

dn: olcOverlay={1}dynlist,olcDatabase={1}mdb,cn=config
objectClass: olcOverlayConfig
objectClass: olcDynListConfig
olcOverlay: {1}dynlist
olcDynListAttrSet: {0}groupOfURLs memberURL member+memberOf@groupOfNames
LDIF

policy() {  # name, minimum age, grace logins
  cat <<LDIF
dn: cn=$1,ou=policies,$base
objectClass: device
objectClass: pwdPolicy
cn: $1
pwdAttribute: userPassword
pwdMinLength: 8
pwdInHistory: 3
pwdMinAge: $2
pwdMaxAge: 31536000
pwdGraceAuthNLimit: $3
pwdCheckQuality: 2
pwdLockout: TRUE
pwdMaxFailure: 3
pwdFailureCountInterval: 0
pwdMustChange: TRUE
pwdAllowUserChange: TRUE
pwdSafeModify: FALSE

LDIF
}

user() {  # cn (escaped for a DN), container, further lines
  printf 'dn: cn=%s,%s,o=acme,%s\nobjectClass: inetOrgPerson\ncn: %s\nsn: Test\nuserPassword: %s\n%b\n\n' \
    "$1" "$2" "$base" "$(printf %s "$1" | tr -d '\\')" "$userpw" "${3:-}"
}

{
  printf 'dn: %s\nobjectClass: dcObject\nobjectClass: organization\ndc: tree\no: Tree\n\n' $base
  printf 'dn: ou=policies,%s\nobjectClass: organizationalUnit\nou: policies\n\n' $base
  printf 'dn: o=acme,%s\nobjectClass: organization\no: acme\n\n' $base
  for ou in sales groups many; do
    printf 'dn: ou=%s,o=acme,%s\nobjectClass: organizationalUnit\nou: %s\n\n' $ou $base $ou
  done
  policy default 0 0
  policy minage60 60 0
  policy grace 0 3
  for name in jsmith ajones 'a*b' ab; do user "$name" ou=sales; done
  user 'x\,y' ou=sales
  user dot.ted ou=sales
  user young ou=sales "pwdPolicySubentry: cn=minage60,ou=policies,$base"
  user reset ou=sales "pwdReset: TRUE"
  user grace ou=sales "pwdPolicySubentry: cn=grace,ou=policies,$base\npwdChangedTime: 20000101000000Z"
  user expired ou=sales "pwdChangedTime: 20000101000000Z"
  members=${MEMBERS:-300}
  big="dn: cn=big,ou=groups,o=acme,$base\nobjectClass: groupOfNames\ncn: big"
  for i in $(seq 1 "$members"); do
    user "m$i" ou=many
    big="$big\nmember: cn=m$i,ou=many,o=acme,$base"
  done
  printf '%b\n\n' "$big"
  printf 'dn: cn=staff,ou=groups,o=acme,%s\nobjectClass: groupOfNames\ncn: staff\n' $base
  printf 'member: cn=jsmith,ou=sales,o=acme,%s\nmember: cn=ajones,ou=sales,o=acme,%s\n\n' $base $base
} > "$dir/data.ldif"

slapadd -q -n0 -F "$dir/slapd.d" -l "$dir/config.ldif"
slapadd -q -n1 -F "$dir/slapd.d" -l "$dir/data.ldif"
echo "$listen" > "$dir/listen"
echo "$port" > "$dir/port"
start_ready
