#!/bin/sh
# A private OpenLDAP server with the password-policy overlay on loopback.
#   slapd_fixture.sh start DIR PORT [TLSPORT]
#                                     builds the configuration and data in
#                                     DIR, starts slapd on 127.0.0.1:PORT
#                                     (and ldaps on TLSPORT, with StartTLS
#                                     on PORT; see tests/support/slapd.sh)
#                                     and waits until it answers
#   slapd_fixture.sh stop DIR         stops it (TERM, then KILL)
#   slapd_fixture.sh restart DIR      stops it and starts it again
# Users uid=alice|bob|carol,ou=people,dc=example,dc=test with password
# "Passw0rd!"; bob's policy forbids a change within 60 s of the last one.
set -eu
cmd=$1 dir=$2
. "$(dirname "$0")/../support/slapd.sh"
base=dc=example,dc=test

case $cmd in
  stop) slapd_stop; exit 0 ;;
  restart) slapd_stop; slapd_start; exit ;;
esac

slapd_prepare "$3" "${4:-}"
slapd_config $base ppolicy "" "uid,mail,userPrincipalName" FALSE "dn: cn=pwtest,cn=schema,cn=config
objectClass: olcSchemaConfig
cn: pwtest
olcAttributeTypes: ( 1.2.840.113556.1.4.656 NAME 'userPrincipalName' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 SINGLE-VALUE )
olcAttributeTypes: ( 1.2.840.113556.1.4.12 NAME 'badPwdCount' EQUALITY integerMatch ORDERING integerOrderingMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )
olcObjectClasses: ( 2.25.100053049864310853888101769251416461779.1 NAME 'pwTestUser' AUXILIARY MAY ( userPrincipalName \$ badPwdCount ) )" > "$dir/config.ldif"

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
  slapd_policy default 0 FALSE
  slapd_policy minage60 60 FALSE
  user alice
  user bob minage60
  user carol
} > "$dir/data.ldif"
slapd_load
