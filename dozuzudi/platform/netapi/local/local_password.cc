// The "local" provider: a change in the embedded account store.
#include "platform/netapi/domain_provider.h"
#include "platform/netapi/local/account_store.h"
#include "platform/netapi/netapi.h"
#include "platform/text/wstr.h"
#include "platform/text/secret_text.h"

namespace platform {

NET_API_STATUS ChangeLocalPassword(const std::string& store, const WCHAR* pwszUser, const WCHAR* pwszOld,
                                   const WCHAR* pwszNew) {
  std::string error;
  std::unique_ptr<CAccountStore> pStore = CAccountStore::Open(store, error);
  if (!pStore) return ERROR_NO_SUCH_DOMAIN;
  CSecretUtf8 oldPassword(pwszOld);
  CSecretUtf8 newPassword(pwszNew);
  return pStore->ChangePassword(ToUtf8(pwszUser), oldPassword.Text(), newPassword.Text());
}

}  // namespace platform
