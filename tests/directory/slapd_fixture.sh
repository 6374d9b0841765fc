#!/bin/sh
# A private OpenLDAP server with the password-policy overlay on loopback.
#   slapd_fixture.sh start DIR PORT [TLSPORT]
#                                     builds the configuration and data in
#                                     DIR, starts slapd on 127.0.0.1:PORT
#                                     (and ldaps on TLSPORT, with StartTLS
#                                     on PORT: DIR/tls/ca.pem signs the
#                                     server's certificate, DIR/tls/other-ca.pem
#                                     does not) and waits until it answers
#   slapd_fixture.sh stop DIR         stops it (TERM, then KILL)
#   slapd_fixture.sh restart DIR      stops it and starts it again
# Users uid=alice|bob|carol,ou=people,dc=example,dc=test with password
# "Passw0rd!"; bob's policy forbids a change within 60 s of the last one.
set -eu
cmd=$1 dir=$2

stop() {
  [ -f "$dir/run/slapd.pid" ] || return 0
  pid=$(cat "$dir/run/slapd.pid")
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.05; done
  kill -KILL "$pid" 2>/dev/null || true
}

wait_ready() {
  for _ in $(seq 1 200); do
    if ldapsearch -LLL -x -H "ldap://127.0.0.1:$(cat "$dir/port")/" -b "" -s base namingContexts >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.05
  done
  stop
  return 1
}

if [ "$cmd" = stop ]; then stop; exit 0; fi
if [ "$cmd" = restart ]; then
  stop
  slapd -F "$dir/slapd.d" -h "$(cat "$dir/listen")"
  wait_ready
  exit
fi

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
base=dc=example,dc=test

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

dn: cn=schema,cn=config
objectClass: olcSchemaConfig
cn: schema

include: file:///etc/ldap/schema/core.ldif
include: file:///etc/ldap/schema/cosine.ldif
include: file:///etc/ldap/schema/nis.ldif
include: file:///etc/ldap/schema/inetorgperson.ldif

dn: cn=pwtest,cn=schema,cn=config
objectClass: olcSchemaConfig
cn: pwtest
olcAttributeTypes: ( 1.2.840.113556.1.4.656 NAME 'userPrincipalName' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 SINGLE-VALUE )
olcAttributeTypes: ( 1.2.840.113556.1.4.12 NAME 'badPwdCount' EQUALITY integerMatch ORDERING integerOrderingMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )
olcObjectClasses: ( 2.25.100053049864310853888101769251416461779.1 NAME 'pwTestUser' AUXILIARY MAY ( userPrincipalName \$ badPwdCount ) )

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
olcDbIndex: uid,mail,userPrincipalName eq
olcAccess: {0}to attrs=userPassword by self write by anonymous auth by * none
olcAccess: {1}to * by * read

dn: olcOverlay={0}ppolicy,olcDatabase={1}mdb,cn=config
objectClass: olcOverlayConfig
objectClass: olcPPolicyConfig
olcOverlay: {0}ppolicy
olcPPolicyDefault: cn=default,ou=policies,$base
olcPPolicyHashCleartext: TRUE
olcPPolicyUseLockout: FALSE
LDIF

policy() {
  cat <<LDIF
dn: cn=$1,ou=policies,$base
objectClass: device
objectClass: pwdPolicy
cn: $1
pwdAttribute: userPassword
pwdMinLength: 8
pwdInHistory: 3
pwdMinAge: $2
pwdCheckQuality: 2
pwdLockout: FALSE
pwdAllowUserChange: TRUE
pwdSafeModify: FALSE

LDIF
}

user() {
  cat <<LDIF
dn: uid=$1,ou=people,$base
objectClass: inetOrgPerson
objectClass: pwTestUser
uid: $1
cn: $1 Test
sn: Test
mail: $1@example.test
userPrincipalName: $1@EXAMPLE.TEST
userPassword: $userpw
LDIF
  [ -z "${2:-}" ] || echo "pwdPolicySubentry: cn=$2,ou=policies,$base"
  echo
}

{
  printf 'dn: %s\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: Example\n\n' $base
  for ou in people policies; do printf 'dn: ou=%s,%s\nobjectClass: organizationalUnit\nou: %s\n\n' $ou $base $ou; done
  policy default 0
  policy minage60 60
  user alice
  user bob minage60
  user carol
} > "$dir/data.ldif"

slapadd -q -n0 -F "$dir/slapd.d" -l "$dir/config.ldif"
slapadd -q -n1 -F "$dir/slapd.d" -l "$dir/data.ldif"
echo "$listen" > "$dir/listen"
echo "$port" > "$dir/port"
slapd -F "$dir/slapd.d" -h "$listen"
wait_ready
