// Connections to a directory's servers over OpenLDAP, for the platform's
// LDAP client functions and the stand-in libraries that reach a directory
// (the directory-services library, the NDS client library): connecting with
// the TLS rules, binding, and a small pool of bound service-identity
// connections.
//
// Thread rules: every function may be called from any thread; a connection
// is used by one thread at a time. libldap's process-wide set-up runs once,
// before the first connection.
#pragma once

#include <ldap.h>

#include <string>

#include "platform/base/api.h"
#include "platform/ldap/directory_settings.h"

VLT_API_BEGIN
namespace platform {

// Connects to the first configured server that answers, encrypted (ldaps,
// or StartTLS when the settings ask for it) unless the settings allow plain
// LDAP to a loopback server; the server's certificate is always verified.
// An LDAP result code (LDAP_SERVER_DOWN: no server reached;
// LDAP_CONNECT_ERROR: TLS failed, certificate or handshake;
// LDAP_CONFIDENTIALITY_REQUIRED: plain LDAP to a server that is not on
// loopback, or not allowed); *ppld holds the connection on success.
int OpenDirectoryConnection(const CConnectionSettings& settings, LDAP** ppld);
// Binds with the service's identity: SASL GSSAPI when the settings name a
// keytab, else a simple bind with the BindDN and the password file.
// LDAP_INVALID_CREDENTIALS when the keytab or password file is missing or
// readable by group or others.
int BindServiceIdentity(LDAP* pld, const CDirectorySettings& settings);
// A simple bind; the password stays the caller's.
int BindSimple(LDAP* pld, const std::string& sDn, const std::string& sPassword);
// A regular file that group and others cannot read: one that grants the
// service's identity must be the service's alone.
bool IsPrivateFile(const std::string& sPath);
// The server's diagnostic text of the last operation on the connection.
std::string DiagnosticMessage(LDAP* pld);
// Overwrites the string's characters before it is released.
void WipeString(std::string* ps);

// The pool: at most kMaxIdleConnections idle connections per server list,
// CA file and identity. The password file is checked on every acquire, so a
// file that became readable by others stops the service identity at once.
inline constexpr size_t kMaxIdleConnections = 4;

// An idle connection of the settings' identity, or a new one, bound.
int AcquireServiceConnection(const CDirectorySettings& settings, LDAP** ppld);
// Gives a connection back: kept when fReusable and there is room, else
// closed. A connection whose last operation lost the server is not reusable,
// and the idle connections of the same key are closed with it.
void ReturnServiceConnection(const CDirectorySettings& settings, LDAP* pld, bool fReusable);
// True when the result code shows that the connection itself failed.
bool IsConnectionFailure(int nCode);

}  // namespace platform
VLT_API_END
