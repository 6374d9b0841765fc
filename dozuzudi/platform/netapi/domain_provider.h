// The password-change providers behind NetUserChangePassword, and how the
// registry names one per domain (keys documented in platform/netapi.h).
#pragma once

#include <string>
#include <vector>

#include "platform/base/wintypes.h"
#include "platform/netapi/netapi.h"

namespace platform {

enum class EAccountProvider { Local, Kerberos };

// Seconds a change may wait on its back end (a busy store, a silent KDC)
// before it fails, when the domain's key gives no "Timeout".
inline constexpr unsigned kDefaultProviderTimeoutSeconds = 5;

struct CDomainProvider {
  EAccountProvider eKind = EAccountProvider::Local;
  std::string domain;         // the domain's name as the registry key has it (for reports)
  unsigned nTimeoutSeconds = kDefaultProviderTimeoutSeconds;
  std::string store;          // local: the store's file
  std::string realm;          // kerberos: "" for the system's default realm
  std::string kdc;            // kerberos: "" for the system's configuration
  std::string kpasswdServer;  // kerberos: "" for the KDC's host on port 464
};

// Reads the domain's key afresh. False when the registry names no usable
// provider for it.
bool FindDomainProvider(const WCHAR* pwszDomain, CDomainProvider& provider);

// The providers; passwords and names as NetUserChangePassword receives them.
NET_API_STATUS ChangeLocalPassword(const CDomainProvider& provider, const WCHAR* pwszUser,
                                   const WCHAR* pwszOld, const WCHAR* pwszNew);
NET_API_STATUS ChangeKerberosPassword(const CDomainProvider& provider, const WCHAR* pwszUser,
                                      const WCHAR* pwszOld, const WCHAR* pwszNew);

// A member as the group functions hand it out: "DOMAIN\\name" for members
// of local groups, the account name alone for users of domain groups.
struct CNetMember {
  std::string sName;
  SID_NAME_USE eUsage;
};

// The members of a local group (fLocal) or the users of a domain group of
// the domain sDomain (as the caller named it); NERR_GroupNotFound when the
// provider has no such group of that kind. Statuses as netapi.h gives them.
NET_API_STATUS GetStoreGroupMembers(const std::string& store, const std::string& sDomain,
                                    const std::string& sGroup, bool fLocal, std::vector<CNetMember>* prgMembers);
NET_API_STATUS GetDirectoryGroupMembers(const CDomainProvider& provider, const std::string& sDomain,
                                        const std::string& sGroup, bool fLocal,
                                        std::vector<CNetMember>* prgMembers);

}  // namespace platform
