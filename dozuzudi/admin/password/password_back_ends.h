// The back ends a change-password request is routed to. Calls go through
// g_passwordBackEnds, which holds the real back ends; tests may replace an
// entry.
#pragma once

#include "admin/messages/admin_error.h"
#include "platform/base/wintypes.h"

struct CPasswordBackEnds {
  // NT domain change: a NET_API_STATUS (0, 86, 2244-2246, 87 for unusable
  // arguments, anything else).
  NET_API_STATUS(*pfnChangeDomainPassword)
  (LPCWSTR pwszDomain, LPCWSTR pwszUser, LPCWSTR pwszOld, LPCWSTR pwszNew);
  // Directory change of a user given by user principal name.
  AdminError (*pfnChangeAdsPassword)(LPCWSTR pwszUpn, LPCWSTR pwszOld, LPCWSTR pwszNew);
  // NDS change, with single-byte strings.
  AdminError (*pfnChangeNdsPassword)(const char* pszUser, const char* pszTree, const char* pszOld,
                                     const char* pszNew);
};

extern CPasswordBackEnds g_passwordBackEnds;

// Routes one change by domain type and answers with an error id or null.
class CChangePasswordRequest;
AdminError ExecuteChangePassword(CChangePasswordRequest& message);
// NDS change with single-byte copies of the strings; after a success, the
// same change in the NT domain that mirrors the tree (its outcome does not
// change the answer).
AdminError ChangeNdsAndSyncedNt(CChangePasswordRequest& message);
// NT change with the status mapped to an error id.
AdminError ChangeNtPassword(LPCWSTR pwszDomain, LPCWSTR pwszUser, LPCWSTR pwszOld, LPCWSTR pwszNew);
// The NT domain that mirrors the NDS tree ("SyncedDomainName"); the caller
// frees *ppwszDomain with HeapFree.
bool ReadSyncedDomainName(WCHAR** ppwszDomain);
// The leaf of a dotted NDS name (".jsmith.sales" gives "jsmith"); the caller
// frees *ppwszLeaf with HeapFree.
bool GetNdsLeafName(WCHAR** ppwszLeaf, LPCWSTR pwszName);
// No domain, and a user name whose first "@" has a character on each side.
bool IsUpnUserName(LPCWSTR pwszUser, LPCWSTR pwszDomain);
