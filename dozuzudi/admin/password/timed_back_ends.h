// The real back ends, each timed into the extension's statistics; the
// entries of g_passwordBackEnds.
#pragma once

#include "admin/messages/admin_error.h"
#include "platform/base/wintypes.h"

NET_API_STATUS TimedChangeDomainPassword(LPCWSTR pwszDomain, LPCWSTR pwszUser, LPCWSTR pwszOld,
                                         LPCWSTR pwszNew);
AdminError TimedChangeAdsPassword(LPCWSTR pwszUpn, LPCWSTR pwszOld, LPCWSTR pwszNew);
AdminError TimedChangeNdsPassword(const char* pszUser, const char* pszTree, const char* pszOld,
                                  const char* pszNew);
