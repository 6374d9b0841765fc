// The OpenLDAP side of the LDAP client functions whose names OpenLDAP uses
// too (their wrappers live in a file that does not see ldap.h).
#pragma once

#include "platform/base/wintypes.h"

struct ldap;
struct ldapmsg;

namespace platform {
ldapmsg* LdapFirstEntry(ldap* pld, ldapmsg* pRes);
ULONG LdapMsgFree(ldapmsg* pRes);
ULONG LdapUnbind(ldap* pld);
}  // namespace platform
