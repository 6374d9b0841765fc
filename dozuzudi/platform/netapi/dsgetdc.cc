// The domain-controller locator: the server's own domain comes from the
// directory settings; its first configured server is the controller.
#include <cstdlib>
#include <cstring>

#include "platform/ldap/directory_settings.h"
#include "platform/netapi/netapi.h"
#include "platform/text/wstr.h"

namespace {

// The strings live in the same block as the structure, so one
// NetApiBufferFree releases everything.
size_t Units(const std::u16string& s) { return s.size() + 1; }

WCHAR* Place(WCHAR** ppw, const std::u16string& s) {
  WCHAR* pw = *ppw;
  std::memcpy(pw, s.c_str(), Units(s) * sizeof(WCHAR));
  *ppw += Units(s);
  return pw;
}

std::u16string HostOfUri(const std::string& sUri) {
  size_t nStart = sUri.find("://");
  nStart = nStart == std::string::npos ? 0 : nStart + 3;
  size_t nEnd = sUri.find_first_of(":/", nStart);
  if (nEnd != std::string::npos && sUri[nStart] == '[') nEnd = sUri.find(']', nStart) + 1;
  return platform::FromUtf8(sUri.substr(nStart, nEnd == std::string::npos ? std::string::npos
                                                                          : nEnd - nStart));
}

}  // namespace

DWORD DsGetDcNameW(LPCWSTR, LPCWSTR pwszDomain, GUID*, LPCWSTR, ULONG,
                   PDOMAIN_CONTROLLER_INFOW* ppInfo) {
  if (ppInfo == nullptr) return ERROR_INVALID_PARAMETER;
  *ppInfo = nullptr;
  platform::CDirectorySettings settings;
  if (!platform::ReadDirectorySettings(&settings)) return ERROR_NO_SUCH_DOMAIN;
  std::u16string sDomain = platform::FromUtf8(settings.sDomain);
  if (pwszDomain != nullptr && *pwszDomain != 0 && _wcsicmp(pwszDomain, sDomain.c_str()) != 0)
    return ERROR_NO_SUCH_DOMAIN;
  std::u16string sController = u"\\\\" + HostOfUri(settings.rgsServers.front());
  size_t cb = sizeof(DOMAIN_CONTROLLER_INFOW) +
              (2 * Units(sController) + 2 * Units(sDomain)) * sizeof(WCHAR);
  auto* pInfo = static_cast<DOMAIN_CONTROLLER_INFOW*>(std::calloc(1, cb));
  if (pInfo == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  WCHAR* pw = reinterpret_cast<WCHAR*>(pInfo + 1);
  pInfo->DomainControllerName = Place(&pw, sController);
  pInfo->DomainControllerAddress = Place(&pw, sController);
  pInfo->DomainControllerAddressType = 2;  // DS_NETBIOS_ADDRESS
  pInfo->DomainName = Place(&pw, sDomain);
  pInfo->DnsForestName = Place(&pw, sDomain);
  pInfo->Flags = 0x20000010;  // DS_DS_FLAG | DS_DNS_DOMAIN_FLAG
  *ppInfo = pInfo;
  return ERROR_SUCCESS;
}
