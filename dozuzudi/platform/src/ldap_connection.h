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
// Binds with the service's identity (simple bind from the settings'
// BindDN and password file). LDAP_INVALID_CREDENTIALS when the password
// file is missing or readable by group or others.
int BindServiceIdentity(LDAP* pld, const DirectorySettings& settings);
// A simple bind; the password stays the caller's.
int BindSimple(LDAP* pld, const std::string& sDn, const std::string& sPassword);
// The server's diagnostic text of the last operation on the connection.
std::string DiagnosticMessage(LDAP* pld);
// Overwrites the string's characters before it is released.
void WipeString(std::string* ps);

}  // namespace platform
