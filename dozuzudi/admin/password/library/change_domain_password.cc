#include "admin/password/library/password_library.h"
#include "platform/netapi.h"

NET_API_STATUS ChangeDomainPassword(LPCWSTR pwszDomain, LPCWSTR pwszUser, LPCWSTR pwszOld,
                                    LPCWSTR pwszNew) {
  if (pwszDomain == nullptr || pwszUser == nullptr || pwszOld == nullptr || pwszNew == nullptr)
    return ERROR_INVALID_PARAMETER;
  if (pwszDomain[0] == u'\\' && pwszDomain[1] == u'\\') return ERROR_INVALID_PARAMETER;
  return NetUserChangePassword(pwszDomain, pwszUser, pwszOld, pwszNew);
}
