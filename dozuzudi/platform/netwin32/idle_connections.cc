#include "platform/netwin32/idle_connections.h"

#include <map>
#include <vector>

#include "platform/netwin32/nds_context.h"

namespace netwin32 {
namespace {

CRITICAL_SECTION s_csIdle;
std::map<std::string, std::vector<LDAP*>> s_idle GUARDED_BY(s_csIdle);

// Idle connections end with the library: each is unbound.
struct CIdleConnectionsCloser {
  ~CIdleConnectionsCloser() { DropIdleConnections({}); }
} s_closer;

}  // namespace

LDAP* TakeIdleConnection(const std::string& sKey) {
  CSectionLock lock(&s_csIdle);
  auto it = s_idle.find(sKey);
  if (it == s_idle.end() || it->second.empty()) return nullptr;
  LDAP* pld = it->second.back();
  it->second.pop_back();
  return pld;
}

void KeepIdleConnection(const std::string& sKey, LDAP* pld) {
  {
    CSectionLock lock(&s_csIdle);
    std::vector<LDAP*>& rgIdle = s_idle[sKey];
    if (rgIdle.size() < kMaxIdleConnections) {
      rgIdle.push_back(pld);
      return;
    }
  }
  CSigpipeGuard sigpipe;
  ldap_unbind_ext_s(pld, nullptr, nullptr);
}

void DropIdleConnections(const std::string& sKey) {
  std::vector<LDAP*> rgClose;
  {
    CSectionLock lock(&s_csIdle);
    for (auto& [sIdleKey, rgIdle] : s_idle) {
      if (!sKey.empty() && sIdleKey != sKey) continue;
      rgClose.insert(rgClose.end(), rgIdle.begin(), rgIdle.end());
      rgIdle.clear();
    }
  }
  CSigpipeGuard sigpipe;
  for (LDAP* pld : rgClose) ldap_unbind_ext_s(pld, nullptr, nullptr);
}

}  // namespace netwin32
