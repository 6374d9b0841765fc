// Finds a domain's provider under
// HKEY_LOCAL_MACHINE\SOFTWARE\Veltra\Accounts\Domains\<domain>.
#include "platform/netapi/domain_provider.h"

#include <memory>

#include "platform/registry/registry.h"
#include "platform/text/wstr.h"

namespace platform {
namespace {

constexpr const WCHAR* kDomainsKey = u"SOFTWARE\\Veltra\\Accounts\\Domains\\";
constexpr const WCHAR* kThisMachine = u".";

struct CKeyCloser {
  void operator()(HKEY hKey) const { RegCloseKey(hKey); }
};

}  // namespace

bool FindDomainProvider(const WCHAR* pwszDomain, CDomainProvider& provider) {
  if (pwszDomain == nullptr || *pwszDomain == 0) pwszDomain = kThisMachine;
  // A backslash would reach into another key.
  if (wcschr(pwszDomain, u'\\') != nullptr) return false;
  std::u16string path = std::u16string(kDomainsKey) + pwszDomain;
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
  std::unique_ptr<std::remove_pointer_t<HKEY>, CKeyCloser> key(hKey);
  std::string kind = ReadRegistryUtf8(hKey, u"Provider");
  for (char& ch : kind) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + ('a' - 'A') : ch);
  if (kind == "local") {
    provider.eKind = EAccountProvider::Local;
    provider.store = ReadRegistryUtf8(hKey, u"Store");
    return !provider.store.empty();
  }
  if (kind == "kerberos") {
    provider.eKind = EAccountProvider::Kerberos;
    provider.realm = ReadRegistryUtf8(hKey, u"Realm");
    provider.kdc = ReadRegistryUtf8(hKey, u"Kdc");
    provider.kpasswdServer = ReadRegistryUtf8(hKey, u"KpasswdServer");
    return true;
  }
  return false;
}

}  // namespace platform
