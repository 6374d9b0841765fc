// The "local" provider: a change in the embedded account store. A store
// that cannot serve is reported once per cause on standard error; the
// service's operators have no other way to learn why changes fail.
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

#include "platform/netapi/domain_provider.h"
#include "platform/netapi/local/account_store.h"
#include "platform/netapi/netapi.h"
#include "platform/text/wstr.h"
#include "platform/text/secret_text.h"

namespace platform {
namespace {

// Causes already reported, as "store\nerror"; a store forgets its causes
// when it serves a change again. Bounded: beyond the bound, causes are
// reported every time rather than remembered.
class CStoreFaults {
 public:
  void Report(const CDomainProvider& provider, const std::string& error) {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      if (!m_reported.insert(provider.store + '\n' + error).second) return;
      if (m_reported.size() > kMaxRemembered) m_reported.clear();
    }
    std::fprintf(stderr, "vltadmin: domain %s: account store %s: %s\n", provider.domain.c_str(),
                 provider.store.c_str(), error.c_str());
  }
  void Served(const std::string& store) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_reported.lower_bound(store + '\n');
    while (it != m_reported.end() && it->compare(0, store.size() + 1, store + '\n') == 0)
      it = m_reported.erase(it);
  }

 private:
  static constexpr size_t kMaxRemembered = 1024;
  std::mutex m_lock;
  std::set<std::string> m_reported;
};

CStoreFaults& StoreFaults() {
  static CStoreFaults* s_faults = new CStoreFaults;  // used by workers until exit
  return *s_faults;
}

}  // namespace

NET_API_STATUS ChangeLocalPassword(const CDomainProvider& provider, const WCHAR* pwszUser,
                                   const WCHAR* pwszOld, const WCHAR* pwszNew) {
  std::string error;
  std::unique_ptr<CAccountStore> pStore = CAccountStore::Open(provider.store, error);
  if (!pStore) {
    // The path is in the message already.
    StoreFaults().Report(provider, error.substr(error.find(": ") + 2));
    return ERROR_NO_SUCH_DOMAIN;
  }
  pStore->SetBusyTimeout(static_cast<int>(provider.nTimeoutSeconds * 1000));
  CSecretUtf8 oldPassword(pwszOld);
  CSecretUtf8 newPassword(pwszNew);
  NET_API_STATUS status = pStore->ChangePassword(ToUtf8(pwszUser), oldPassword.Text(), newPassword.Text());
  if (status == ERROR_INTERNAL_ERROR)
    StoreFaults().Report(provider, pStore->LastError());
  else
    StoreFaults().Served(provider.store);
  return status;
}

}  // namespace platform
