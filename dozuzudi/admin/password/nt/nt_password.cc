// NT domain changes: the network-management status reduced to an error id.
#include "admin/password/password_back_ends.h"

namespace {

AdminError MapNetStatus(NET_API_STATUS status) {
  switch (status) {
    case 0: return nullptr;
    case ERROR_INVALID_PASSWORD: return ERR_ID_OLD_PASSWORD_INVALID;
    case NERR_PasswordHistConflict:
    case NERR_PasswordTooShort:
    case NERR_PasswordTooRecent: return ERR_ID_NEW_PASSWORD_INVALID;
    default: return ERR_ID_OPERATION_FAILED;
  }
}

}  // namespace

AdminError ChangeNtPassword(LPCWSTR pwszDomain, LPCWSTR pwszUser, LPCWSTR pwszOld, LPCWSTR pwszNew) {
  if (pwszDomain == nullptr || pwszUser == nullptr || pwszOld == nullptr || pwszNew == nullptr)
    return ERR_ID_ADMIN_ERR_OPERATION_FAILED;
  return MapNetStatus(g_passwordBackEnds.pfnChangeDomainPassword(pwszDomain, pwszUser, pwszOld, pwszNew));
}
