#!/bin/sh
# A private OpenLDAP server on loopback holding an NDS-style tree, with the
# password policy (lockout reported to the user) and computed memberOf.
#   nds_tree.sh start DIR PORT [TLSPORT]
#                         builds the configuration and data in DIR, starts
#                         slapd on 127.0.0.1:PORT (and ldaps on TLSPORT, with
#                         StartTLS on PORT; see tests/support/slapd.sh) and
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
. "$(dirname "$0")/../support/slapd.sh"
base=dc=tree,dc=test

case $cmd in
  stop) slapd_stop; exit 0 ;;
  restart) slapd_stop; slapd_start; exit ;;
  ldif) exec ldapmodify -x -H "ldap://127.0.0.1:$(cat "$dir/port")/" -D "cn=admin,$base" -w rootsecret \
          -e relax >/dev/null ;;
esac

slapd_prepare "$3" "${4:-}"
{
  slapd_config $base "ppolicy dynlist" dyngroup "cn member" TRUE
  cat <<LDIF

dn: olcOverlay={1}dynlist,olcDatabase={1}mdb,cn=config
objectClass: olcOverlayConfig
objectClass: olcDynListConfig
olcOverlay: {1}dynlist
olcDynListAttrSet: {0}groupOfURLs memberURL member+memberOf@groupOfNames
LDIF
} > "$dir/config.ldif"

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
  rules='pwdMaxAge: 31536000\npwdMaxFailure: 3\npwdFailureCountInterval: 0\npwdMustChange: TRUE'
  slapd_policy default 0 TRUE "$rules\npwdGraceAuthNLimit: 0"
  slapd_policy minage60 60 TRUE "$rules\npwdGraceAuthNLimit: 0"
  slapd_policy grace 0 TRUE "$rules\npwdGraceAuthNLimit: 3"
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

slapd_load
