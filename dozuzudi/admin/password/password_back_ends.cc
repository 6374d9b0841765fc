#include "admin/password/password_back_ends.h"

#include "admin/messages/change_password_request.h"
#include "admin/messages/keyword_tables.h"
#include "admin/password/timed_back_ends.h"
#include "platform/base/blocking_wait.h"

CPasswordBackEnds g_passwordBackEnds = {TimedChangeDomainPassword, TimedChangeAdsPassword,
                                        TimedChangeNdsPassword};

bool IsUpnUserName(LPCWSTR pwszUser, LPCWSTR pwszDomain) {
  if (pwszDomain != nullptr && pwszDomain[0] != 0) return false;
  if (pwszUser == nullptr) return false;
  const WCHAR* pwAt = pwszUser;
  while (*pwAt != 0 && *pwAt != u'@') ++pwAt;
  if (*pwAt == 0 || pwAt == pwszUser) return false;
  return pwAt[1] != 0;
}

AdminError ExecuteChangePassword(CChangePasswordRequest& message) {
  switch (message.DomainType()) {
    case DOMAIN_TYPE_NT: {
      platform::CBlockingWait wait;  // each back end waits on its servers
      return ChangeNtPassword(message.Domain(), message.UserName(), message.OldPassword(),
                              message.NewPassword());
    }
    case DOMAIN_TYPE_NDS: {
      platform::CBlockingWait wait;
      return ChangeNdsAndSyncedNt(message);
    }
    default: {
      if (!IsUpnUserName(message.UserName(), message.Domain())) return ERR_ID_OPERATION_FAILED;
      platform::CBlockingWait wait;
      return g_passwordBackEnds.pfnChangeAdsPassword(message.UserName(), message.OldPassword(),
                                                     message.NewPassword());
    }
  }
}
