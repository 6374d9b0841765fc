// The back ends as the routing calls them: each call is timed and recorded
// by kind in the extension's statistics. An NT call is recorded under the
// provider the registry names for its domain; one for a domain without a
// provider reached no back end and is not recorded.
#include "admin/password/timed_back_ends.h"

#include "admin/metrics/extension_metrics.h"
#include "admin/password/ads/ads_password.h"
#include "admin/password/library/password_library.h"
#include "admin/password/nds/nds_password.h"
#include "platform/netapi/netapi.h"

NET_API_STATUS TimedChangeDomainPassword(LPCWSTR pwszDomain, LPCWSTR pwszUser, LPCWSTR pwszOld,
                                         LPCWSTR pwszNew) {
  CBackEndTimer timer;
  NET_API_STATUS nStatus = ChangeDomainPassword(pwszDomain, pwszUser, pwszOld, pwszNew);
  if (const char* pszProvider = platform::DomainProviderName(pwszDomain))
    timer.Record(pszProvider[0] == 'k' ? BACK_END_NT_KERBEROS : BACK_END_NT_LOCAL);
  return nStatus;
}

AdminError TimedChangeAdsPassword(LPCWSTR pwszUpn, LPCWSTR pwszOld, LPCWSTR pwszNew) {
  CBackEndTimer timer;
  AdminError pwszResult = ChangeAdsPassword(pwszUpn, pwszOld, pwszNew);
  timer.Record(BACK_END_DIRECTORY);
  return pwszResult;
}

AdminError TimedChangeNdsPassword(const char* pszUser, const char* pszTree, const char* pszOld,
                                  const char* pszNew) {
  CBackEndTimer timer;
  AdminError pwszResult = ChangeNdsPassword(pszUser, pszTree, pszOld, pszNew);
  timer.Record(BACK_END_NDS);
  return pwszResult;
}
