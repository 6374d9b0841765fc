// The service's identity as a Kerberos principal with its keys in a keytab:
// SASL GSSAPI binds over the connection's TLS.
#pragma once

#include <ldap.h>

#include "platform/ldap/directory_settings.h"

namespace platform {

// Binds with SASL GSSAPI as the settings' keytab principal. The ticket-
// granting ticket is obtained from the keytab into a private in-memory
// credential cache and renewed before it expires; the Kerberos realm and
// its KDCs come from the system's Kerberos configuration (KRB5_CONFIG or
// /etc/krb5.conf). LDAP_INVALID_CREDENTIALS when the keytab is missing,
// readable by group or others, or has no usable key.
int BindGssapi(LDAP* pld, const CDirectorySettings& settings);

}  // namespace platform
