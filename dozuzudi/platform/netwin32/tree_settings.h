// A tree's settings, read from the registry key
// HKEY_LOCAL_MACHINE\SOFTWARE\Veltra\NDS\Trees\<TREE> (tree names ignore case):
//   "Servers"                  REG_SZ  LDAP URIs separated by blanks, tried in
//                                      order (required)
//   "RootDN"                   REG_SZ  the DN that stands for [Root] (required)
//   "CACertificateFile"        REG_SZ  PEM file of the CAs of the servers'
//                                      certificates (always verified)
//   "StartTLS"                 DWORD   1 (default): ldap:// URIs use StartTLS
//   "AllowPlainLoopback"       DWORD   1: ldap:// to a loopback address may stay
//                                      unencrypted (tests); default 0
//   "NetworkTimeout"           DWORD   seconds (default 10)
//   "LeafAttribute"            REG_SZ  attribute of a typeless name's leaf
//                                      (default cn)
//   "ContainerAttributes"      REG_SZ  attributes of a typeless name's
//                                      containers from the top down, separated
//                                      by blanks; the last repeats (default
//                                      "o ou": .jsmith.sales.acme is
//                                      cn=jsmith,ou=sales,o=acme,<RootDN>)
//   "GroupMembershipAttribute" REG_SZ  what "Group Membership" reads (default:
//                                      groupMembership when the directory's
//                                      schema has it, else memberOf)
// Read when a context's tree is set; nothing is cached.
#pragma once

#include <string>
#include <string_view>

#include "platform/ldap/directory_settings.h"
#include "platform/netwin32/nds_name.h"

namespace netwin32 {

struct CTreeSettings {
  platform::CConnectionSettings connection;
  CNamingRules naming;
  std::string sGroupMembershipAttribute;
  // Tells apart the trees' idle connections: servers, CA file, TLS rules.
  std::string sConnectionKey;
};

// 0, or NDS_ERR_NO_SUCH_TREE when the name cannot be a key's name (empty,
// longer than 32 characters, a backslash or a control character in it), or
// the key, its servers or a valid RootDN are missing, or an attribute is not
// an LDAP attribute name.
NWDSCCODE ReadTreeSettings(std::string_view sTree, CTreeSettings* pSettings);

}  // namespace netwin32
