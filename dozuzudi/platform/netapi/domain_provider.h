// The password-change providers behind NetUserChangePassword, and how the
// registry names one per domain (keys documented in platform/netapi.h).
#pragma once

#include <string>

#include "platform/base/wintypes.h"

namespace platform {

enum class EAccountProvider { Local, Kerberos };

struct CDomainProvider {
  EAccountProvider eKind = EAccountProvider::Local;
  std::string store;          // local: the store's file
  std::string realm;          // kerberos: "" for the system's default realm
  std::string kdc;            // kerberos: "" for the system's configuration
  std::string kpasswdServer;  // kerberos: "" for the KDC's host on port 464
};

// Reads the domain's key afresh. False when the registry names no usable
// provider for it.
bool FindDomainProvider(const WCHAR* pwszDomain, CDomainProvider& provider);

// The providers; passwords and names as NetUserChangePassword receives them.
NET_API_STATUS ChangeLocalPassword(const std::string& store, const WCHAR* pwszUser, const WCHAR* pwszOld,
                                   const WCHAR* pwszNew);
NET_API_STATUS ChangeKerberosPassword(const CDomainProvider& provider, const WCHAR* pwszUser,
                                      const WCHAR* pwszOld, const WCHAR* pwszNew);

}  // namespace platform
