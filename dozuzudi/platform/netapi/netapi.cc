// NetUserChangePassword dispatches to the provider the registry names for
// the domain (domain_provider.cc); the providers live in their own files.
#include "platform/netapi/netapi.h"

#include <cstdlib>

#include "platform/netapi/domain_provider.h"

NET_API_STATUS NetUserChangePassword(LPCWSTR domainname, LPCWSTR username, LPCWSTR oldpassword,
                                     LPCWSTR newpassword) {
  if (username == nullptr || oldpassword == nullptr || newpassword == nullptr) return ERROR_INVALID_PARAMETER;
  platform::CDomainProvider provider;
  if (!platform::FindDomainProvider(domainname, provider)) return ERROR_NO_SUCH_DOMAIN;
  switch (provider.eKind) {
    case platform::EAccountProvider::Local:
      return platform::ChangeLocalPassword(provider.store, username, oldpassword, newpassword);
    case platform::EAccountProvider::Kerberos:
      return platform::ChangeKerberosPassword(provider, username, oldpassword, newpassword);
  }
  return ERROR_NO_SUCH_DOMAIN;
}

const char* platform::DomainProviderName(LPCWSTR pwszDomain) {
  platform::CDomainProvider provider;
  if (!platform::FindDomainProvider(pwszDomain, provider)) return nullptr;
  return provider.eKind == platform::EAccountProvider::Kerberos ? "kerberos" : "local";
}

NET_API_STATUS NetApiBufferFree(LPVOID Buffer) {
  std::free(Buffer);
  return 0;
}
