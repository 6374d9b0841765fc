#include "admin/password/library/library_trace.h"
#include "admin/password/library/password_library.h"
#include "admin/password/library/translated_password.h"
#include "platform/netapi/netapi.h"

NET_API_STATUS ChangeDomainPassword(LPCWSTR pwszDomain, LPCWSTR pwszUser, LPCWSTR pwszOld,
                                    LPCWSTR pwszNew) {
  if (pwszDomain == nullptr) {
    LibraryTrace(QTR_ERROR, kTraceNoDomain);
    return ERROR_INVALID_PARAMETER;
  }
  if (pwszUser == nullptr) {
    LibraryTrace(QTR_ERROR, kTraceNoUser);
    return ERROR_INVALID_PARAMETER;
  }
  if (pwszOld == nullptr || pwszNew == nullptr) {
    LibraryTrace(QTR_ERROR, kTraceNoPassword);
    return ERROR_INVALID_PARAMETER;
  }
  if (pwszDomain[0] == u'\\' && pwszDomain[1] == u'\\') {
    LibraryTrace(QTR_ERROR, kTraceUncDomain);
    return ERROR_INVALID_PARAMETER;
  }
  VARIANT varOld;
  VARIANT varNew;
  LPCWSTR pwszOldToSend = OfferPassword(pwszUser, pwszDomain, pwszOld, &varOld);
  LPCWSTR pwszNewToSend = OfferPassword(pwszUser, pwszDomain, pwszNew, &varNew);
  NET_API_STATUS nStatus = NetUserChangePassword(pwszDomain, pwszUser, pwszOldToSend, pwszNewToSend);
  WipeAndClear(&varOld);
  WipeAndClear(&varNew);
  return nStatus;
}
