// platform/ldap: the LDAP client of wldap32 (wide-character forms, this
// header), and the directory connections the stand-in libraries share:
// settings of the server's own directory (directory_settings.h), connecting,
// binding and a small pool of service connections (directory_connection.h,
// the one header the directory-services library may use).
//
// Backed by: OpenLDAP libldap and liblber with their TLS, and SASL GSSAPI
// binds with MIT Kerberos from a keytab.
// Threads: every function may be called from any thread; a connection is
// used by one thread at a time; LdapGetLastError is per thread.
// Failures: LDAP result codes (0 success), null for ldap_initW and
// ldap_get_valuesW; credentials in files readable by group or others are
// refused (LDAP_INVALID_CREDENTIALS).
// Our choices: server certificates are always verified; connections are
// encrypted (ldaps or StartTLS) unless the settings allow plain LDAP to a
// loopback server; settings are read from the registry on each use;
// LDAP_AUTH_NEGOTIATE without credentials binds with the service's own
// identity.
//
// The LDAP client functions:
// Connections without a host name go to the servers of the server's own
// directory domain (see directory_settings.h); a bind with
// LDAP_AUTH_NEGOTIATE and no name or credentials binds with the service's
// own identity there, which stands for the credentials of the calling
// thread. Connections are encrypted (ldaps or StartTLS) unless the settings
// allow plain LDAP to a loopback server.
//
// ldap_first_entry, ldap_msgfree and ldap_unbind have C++ linkage here so
// that they never stand in for OpenLDAP's functions of the same names.
//
// Errors: functions returning ULONG answer an LDAP result code (0 success);
// ldap_initW and ldap_get_valuesW answer null on failure. Every call records
// its code for LdapGetLastError on the calling thread.
#pragma once

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

struct ldap;
struct ldapmsg;
typedef struct ldap LDAP;
typedef LDAP* PLDAP;
typedef struct ldapmsg LDAPMessage;
typedef LDAPMessage* PLDAPMessage;

#define LDAP_PORT 389
#define LDAP_SSL_PORT 636
#define LDAP_AUTH_SIMPLE 0x80
#define LDAP_AUTH_NEGOTIATE 0x486
#define LDAP_SCOPE_BASE 0x00
#define LDAP_SCOPE_ONELEVEL 0x01
#define LDAP_SCOPE_SUBTREE 0x02

#ifndef LDAP_SUCCESS
#define LDAP_SUCCESS 0x00
#endif

// A handle for the host (null: the directory's own servers) and port; no
// traffic until the bind.
LDAP* ldap_initW(const WCHAR* HostName, ULONG PortNumber);
// LDAP_AUTH_NEGOTIATE with no dn and no cred: the service identity.
// LDAP_AUTH_SIMPLE: a simple bind with dn and cred.
ULONG ldap_bind_sW(LDAP* ld, const WCHAR* dn, const WCHAR* cred, ULONG method);
// attrs is a null-terminated list (null: all attributes); filter null means
// "(objectClass=*)". *res may hold a message even on failure.
ULONG ldap_search_sW(LDAP* ld, const WCHAR* base, ULONG scope, const WCHAR* filter, WCHAR** attrs,
                     ULONG attrsonly, LDAPMessage** res);
LDAPMessage* ldap_first_entry(LDAP* ld, LDAPMessage* res);
// The attribute's values as a null-terminated list, freed with
// ldap_value_freeW; null when the entry has none (LdapGetLastError: 0 when
// the attribute is simply absent).
WCHAR** ldap_get_valuesW(LDAP* ld, LDAPMessage* entry, const WCHAR* attr);
ULONG ldap_value_freeW(WCHAR** vals);
ULONG ldap_msgfree(LDAPMessage* res);
ULONG ldap_unbind(LDAP* ld);
ULONG LdapGetLastError();
// A static text for the code; never null.
WCHAR* ldap_err2stringW(ULONG err);
VLT_API_END
