// Settings of the server's own directory domain, read from the registry key
// HKEY_LOCAL_MACHINE\SOFTWARE\Veltra\Directory Services:
//   "DomainName"        REG_SZ  DNS name of the domain (example.test)
//   "Servers"           REG_SZ  LDAP URIs separated by blanks, tried in order
//                               (ldaps://dc1.example.test/ ldap://dc2/...)
//   "CACertificateFile" REG_SZ  PEM file of the CAs that sign the servers'
//                               certificates (server certificates are
//                               always verified)
//   "BindDN"            REG_SZ  the service's identity: simple bind DN
//   "BindPasswordFile"  REG_SZ  file holding its password (first line); it
//                               must not be readable by group or others
//   "Keytab"            REG_SZ  instead of BindDN: a keytab (not readable by
//                               group or others) whose principal is the
//                               service's identity, bound with SASL GSSAPI
//   "KeytabPrincipal"   REG_SZ  that principal (default: the keytab's first)
//   "SearchBase"        REG_SZ  base of name searches (default: the DNs of
//                               the domain's labels, dc=example,dc=test)
//   "StartTLS"          DWORD   1 (default): ldap:// URIs use StartTLS
//   "AllowPlainLoopback" DWORD  1: ldap:// to 127.0.0.0/8 or ::1 may stay
//                               unencrypted (tests); default 0
//   "NetworkTimeout"    DWORD   seconds to connect (default 10)
// Read on each call: nothing is cached.
#pragma once

#include <string>
#include <vector>
#include "platform/base/api.h"
#include "platform/base/wintypes.h"

VLT_API_BEGIN

namespace platform {

// How to reach a directory's servers, shared by the server's own directory
// and the stand-in libraries that reach other directories (NDS trees).
struct CConnectionSettings {
  std::vector<std::string> rgsServers;
  std::string sCaFile;
  bool fStartTls = true;
  bool fAllowPlainLoopback = false;
  unsigned nTimeoutSeconds = 10;
};

struct CDirectorySettings : CConnectionSettings {
  std::string sDomain;
  std::string sBindDn;
  std::string sPasswordFile;
  std::string sKeytab;
  std::string sKeytabPrincipal;
  std::string sSearchBase;
};

// False when the key or its DomainName is missing.
bool ReadDirectorySettings(CDirectorySettings* pSettings);

// Reads "Servers", "CACertificateFile", "StartTLS", "AllowPlainLoopback" and
// "NetworkTimeout", as above, from an open key; absent values keep the
// defaults.
void ReadConnectionSettings(HKEY hKey, CConnectionSettings* pSettings);

}  // namespace platform
VLT_API_END
