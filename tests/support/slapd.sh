# The parts of a private OpenLDAP server on loopback that the fixture
# scripts share (sourced; they set dir, the scratch directory):
#   slapd_stop             stops it (TERM, then KILL)
#   slapd_start            starts it on the saved addresses, waits until it answers
#   slapd_prepare PORT [TLSPORT]
#                          makes the directories and, with TLSPORT, the TLS
#                          files: DIR/tls/ca.pem signs the server's
#                          certificate, DIR/tls/other-ca.pem does not; sets
#                          tlsconfig, rootpw and userpw ("rootsecret",
#                          "Passw0rd!") and saves the addresses
#   slapd_config BASE MODULES SCHEMAS INDEXES LOCKOUT [ENTRIES]
#                          cn=config: the mdb database of BASE with the
#                          password-policy overlay (olcPPolicyUseLockout
#                          LOCKOUT, default policy cn=default,ou=policies);
#                          ENTRIES (schema of its own) follow the schema
#   slapd_policy NAME MINAGE LOCKOUT [LINES]
#                          a policy entry under ou=policies of $base
#   slapd_load             loads DIR/config.ldif and DIR/data.ldif, starts slapd
command -v slapd >/dev/null 2>&1 || [ -x /usr/sbin/slapd ] || exit 77
PATH=$PATH:/usr/sbin
. "$(dirname "$0")/../support/certificates.sh"

slapd_stop() {
  [ -f "$dir/run/slapd.pid" ] || return 0
  pid=$(cat "$dir/run/slapd.pid")
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 1 100); do
    [ -r "/proc/$pid/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$pid/status" || return 0
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null || true
}

slapd_start() {
  slapd -F "$dir/slapd.d" -h "$(cat "$dir/listen")"
  for _ in $(seq 1 200); do
    ldapsearch -LLL -x -H "ldap://127.0.0.1:$(cat "$dir/port")/" -b "" -s base namingContexts \
      >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  slapd_stop
  return 1
}

slapd_prepare() {
  mkdir -p "$dir/slapd.d" "$dir/db" "$dir/run"
  tlsconfig= listen="ldap://127.0.0.1:$1/"
  if [ -n "${2:-}" ]; then
    t=$dir/tls
    certificates "$t" server localhost DNS:localhost,IP:127.0.0.1
    tlsconfig="olcTLSCACertificateFile: $t/ca.pem
olcTLSCertificateFile: $t/server.pem
olcTLSCertificateKeyFile: $t/server.key"
    listen="$listen ldaps://127.0.0.1:$2/"
  fi
  rootpw=$(slappasswd -h '{SSHA}' -s rootsecret)
  userpw=$(slappasswd -h '{SSHA}' -s 'Passw0rd!')
  echo "$listen" > "$dir/listen"
  echo "$1" > "$dir/port"
}

slapd_config() {
  cat <<LDIF
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
LDIF
  for module in $2; do echo "olcModuleLoad: $module"; done
  printf '\ndn: cn=schema,cn=config\nobjectClass: olcSchemaConfig\ncn: schema\n\n'
  for schema in core cosine nis inetorgperson $3; do echo "include: file:///etc/ldap/schema/$schema.ldif"; done
  [ -z "${6:-}" ] || printf '\n%s\n' "$6"
  cat <<LDIF

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
olcSuffix: $1
olcRootDN: cn=admin,$1
olcRootPW: $rootpw
olcDbDirectory: $dir/db
olcDbMaxSize: 104857600
olcDbNoSync: TRUE
olcAccess: {0}to attrs=userPassword by self write by anonymous auth by * none
olcAccess: {1}to * by * read
olcDbIndex: objectClass eq
LDIF
  for index in $4; do echo "olcDbIndex: $index eq"; done
  cat <<LDIF

dn: olcOverlay={0}ppolicy,olcDatabase={1}mdb,cn=config
objectClass: olcOverlayConfig
objectClass: olcPPolicyConfig
olcOverlay: {0}ppolicy
olcPPolicyDefault: cn=default,ou=policies,$1
olcPPolicyHashCleartext: TRUE
olcPPolicyUseLockout: $5
LDIF
}

slapd_policy() {
  printf 'dn: cn=%s,ou=policies,%s\nobjectClass: device\nobjectClass: pwdPolicy\ncn: %s\n' "$1" "$base" "$1"
  printf 'pwdAttribute: userPassword\npwdMinLength: 8\npwdInHistory: 3\npwdMinAge: %s\npwdCheckQuality: 2\n' "$2"
  printf 'pwdLockout: %s\npwdAllowUserChange: TRUE\npwdSafeModify: FALSE\n%b\n\n' "$3" "${4:-}"
}

slapd_load() {
  slapadd -q -n0 -F "$dir/slapd.d" -l "$dir/config.ldif"
  slapadd -q -n1 -F "$dir/slapd.d" -l "$dir/data.ldif"
  slapd_start
}
