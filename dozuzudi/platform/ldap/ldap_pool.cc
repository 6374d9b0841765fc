#include "platform/ldap/directory_connection.h"

#include <map>
#include <string>
#include <vector>

#include "platform/base/sync.h"

namespace platform {
namespace {

CRITICAL_SECTION s_csPool;
std::map<std::string, std::vector<LDAP*>> s_idle GUARDED_BY(s_csPool);

// Idle connections end with the process: each is unbound (the server sees
// a clean end, and nothing of them is left behind).
struct CIdleConnectionsCloser {
  ~CIdleConnectionsCloser() {
    EnterCriticalSection(&s_csPool);
    for (auto& [sKey, rgpld] : s_idle)
      for (LDAP* pld : rgpld) ldap_unbind_ext_s(pld, nullptr, nullptr);
    s_idle.clear();
    LeaveCriticalSection(&s_csPool);
  }
} s_closer;

std::string PoolKey(const CDirectorySettings& settings) {
  std::string sKey;
  for (const std::string& s : settings.rgsServers) sKey += s + ' ';
  sKey += '\n' + settings.sCaFile + '\n' + settings.sBindDn + '\n' + settings.sPasswordFile + '\n';
  sKey += settings.sKeytab + '\n' + settings.sKeytabPrincipal + '\n';
  sKey += settings.fStartTls ? '1' : '0';
  sKey += settings.fAllowPlainLoopback ? '1' : '0';
  return sKey;
}


}  // namespace

bool IsConnectionFailure(int nCode) {
  return nCode == LDAP_SERVER_DOWN || nCode == LDAP_CONNECT_ERROR || nCode == LDAP_TIMEOUT ||
         nCode == LDAP_UNAVAILABLE || nCode == LDAP_BUSY;
}

int AcquireServiceConnection(const CDirectorySettings& settings, LDAP** ppld) {
  *ppld = nullptr;
  const std::string& sSecret = settings.sKeytab.empty() ? settings.sPasswordFile : settings.sKeytab;
  if (!IsPrivateFile(sSecret)) return LDAP_INVALID_CREDENTIALS;
  std::string sKey = PoolKey(settings);
  EnterCriticalSection(&s_csPool);
  auto it = s_idle.find(sKey);
  if (it != s_idle.end() && !it->second.empty()) {
    *ppld = it->second.back();
    it->second.pop_back();
  }
  LeaveCriticalSection(&s_csPool);
  if (*ppld != nullptr) return LDAP_SUCCESS;

  int nCode = OpenDirectoryConnection(settings, ppld);
  if (nCode == LDAP_SUCCESS) nCode = BindServiceIdentity(*ppld, settings);
  if (nCode != LDAP_SUCCESS && *ppld != nullptr) {
    ldap_unbind_ext_s(*ppld, nullptr, nullptr);
    *ppld = nullptr;
  }
  return nCode;
}

void ReturnServiceConnection(const CDirectorySettings& settings, LDAP* pld, bool fReusable) {
  if (pld == nullptr) return;
  std::string sKey = PoolKey(settings);
  // A connection that lost its server says the same of the idle ones made
  // with it: they all go.
  std::vector<LDAP*> rgClose;
  EnterCriticalSection(&s_csPool);
  std::vector<LDAP*>& rgIdle = s_idle[sKey];
  if (!fReusable) {
    rgClose.swap(rgIdle);
    rgClose.push_back(pld);
  } else if (rgIdle.size() < kMaxIdleConnections) {
    rgIdle.push_back(pld);
  } else {
    rgClose.push_back(pld);
  }
  LeaveCriticalSection(&s_csPool);
  for (LDAP* pldClose : rgClose) ldap_unbind_ext_s(pldClose, nullptr, nullptr);
}

}  // namespace platform
