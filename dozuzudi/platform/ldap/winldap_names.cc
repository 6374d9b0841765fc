#include "platform/ldap/winldap.h"
#include "platform/ldap/winldap_glue.h"

LDAPMessage* ldap_first_entry(LDAP* ld, LDAPMessage* res) { return platform::LdapFirstEntry(ld, res); }
ULONG ldap_msgfree(LDAPMessage* res) { return platform::LdapMsgFree(res); }
ULONG ldap_unbind(LDAP* ld) { return platform::LdapUnbind(ld); }
