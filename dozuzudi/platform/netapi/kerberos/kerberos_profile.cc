#include "platform/netapi/kerberos/kerberos_profile.h"

#include <profile.h>

#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

const std::string kFalse = "false";
const std::string kTcpFirst = "1";

long GetValues(void* pvData, const char* const* ppszNames, char*** pppszValues) {
  const std::string* pValue = static_cast<const CKerberosProfile*>(pvData)->Lookup(ppszNames);
  if (pValue == nullptr) return PROF_NO_RELATION;
  char** ppsz = static_cast<char**>(calloc(2, sizeof(char*)));
  if (ppsz == nullptr) return ENOMEM;
  ppsz[0] = strdup(pValue->c_str());
  if (ppsz[0] == nullptr) {
    free(ppsz);
    return ENOMEM;
  }
  *pppszValues = ppsz;
  return 0;
}

void FreeValues(void*, char** ppszValues) {
  for (char** ppsz = ppszValues; ppsz != nullptr && *ppsz != nullptr; ++ppsz) free(*ppsz);
  free(ppszValues);
}

}  // namespace

std::string HostOfAddress(const std::string& address) {
  if (!address.empty() && address[0] == '[') {
    size_t at = address.find(']');
    return at == std::string::npos ? address : address.substr(0, at + 1);
  }
  size_t at = address.find(':');
  if (at != std::string::npos && address.find(':', at + 1) == std::string::npos) return address.substr(0, at);
  return address;
}

CKerberosProfile::CKerberosProfile(std::string realm, std::string kdc, std::string kpasswdServer)
    : m_realm(std::move(realm)), m_kdc(std::move(kdc)), m_kpasswdServer(std::move(kpasswdServer)) {
  if (m_kpasswdServer.empty()) {
    std::string host = HostOfAddress(m_kdc);
    m_kpasswdServer = host + ":464";
  }
}

const std::string* CKerberosProfile::Lookup(const char* const* ppszNames) const {
  auto is = [](const char* psz, const char* pszWanted) { return psz != nullptr && strcmp(psz, pszWanted) == 0; };
  if (is(ppszNames[0], "libdefaults") && ppszNames[1] != nullptr && ppszNames[2] == nullptr) {
    const char* pszName = ppszNames[1];
    if (is(pszName, "default_realm")) return &m_realm;
    if (is(pszName, "dns_lookup_kdc") || is(pszName, "dns_lookup_realm") || is(pszName, "rdns") ||
        is(pszName, "dns_canonicalize_hostname") || is(pszName, "dns_fallback"))
      return &kFalse;
    if (is(pszName, "udp_preference_limit")) return &kTcpFirst;
    return nullptr;
  }
  if (is(ppszNames[0], "realms") && ppszNames[1] != nullptr && m_realm == ppszNames[1] &&
      ppszNames[2] != nullptr && ppszNames[3] == nullptr) {
    if (is(ppszNames[2], "kdc")) return &m_kdc;
    if (is(ppszNames[2], "kpasswd_server")) return &m_kpasswdServer;
  }
  return nullptr;
}

_profile_t* CKerberosProfile::NewProfile() {
  profile_vtable vtable{};
  vtable.minor_ver = 1;
  vtable.get_values = GetValues;
  vtable.free_values = FreeValues;
  profile_t profile = nullptr;
  if (profile_init_vtable(&vtable, this, &profile) != 0) return nullptr;
  return profile;
}

}  // namespace platform
