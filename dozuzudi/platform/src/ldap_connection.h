// Connections to the directory's servers with OpenLDAP, shared by the LDAP
// client functions and the directory-services library.
#pragma once

#include <ldap.h>

#include <string>

#include "platform/directory_settings.h"

namespace platform {

// Connects to the first configured server that answers, encrypted unless
// the settings allow plain LDAP to a loopback server. An LDAP result code;
// *ppld holds the connection on success.
int OpenDirectoryConnection(const DirectorySettings& settings, LDAP** ppld);
// Binds with the service's identity: SASL GSSAPI when the settings name a
// keytab, else a simple bind with the BindDN and the password file.
// LDAP_INVALID_CREDENTIALS when the keytab or password file is missing or
// readable by group or others.
int BindServiceIdentity(LDAP* pld, const DirectorySettings& settings);
// A simple bind; the password stays the caller's.
int BindSimple(LDAP* pld, const std::string& sDn, const std::string& sPassword);
// A regular file that group and others cannot read: one that grants the
// service's identity must be the service's alone.
bool IsPrivateFile(const std::string& sPath);
// The server's diagnostic text of the last operation on the connection.
std::string DiagnosticMessage(LDAP* pld);
// Overwrites the string's characters before it is released.
void WipeString(std::string* ps);

}  // namespace platform
