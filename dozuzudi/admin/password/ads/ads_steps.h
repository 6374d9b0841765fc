// The steps of a directory password change, and the trace points they
// write (the extension's trace module, one message GUID of their own).
#pragma once

#include "admin/messages/admin_error.h"
#include "admin/trace/qtr_trace.h"
#include "platform/activeds/adsi.h"
#include "platform/text/wstr.h"

// Trace point numbers of the directory back end.
enum : USHORT {
  kAdsTraceEntry = 10,
  kAdsTraceFindDn = 11,
  kAdsTraceDnFound = 12,
  kAdsTraceBindUser = 13,
  kAdsTracePath = 14,
  kAdsTraceBadPwdCount = 15,
  kAdsTraceLdapBindFailed = 16,
  kAdsTraceLdapSearchFailed = 17,
  kAdsTraceNoAttribute = 18,
  kAdsTraceLastLdapError = 19,
  kAdsTracePerformChange = 20,
  kAdsTraceCountBefore = 21,
  kAdsTraceChangeStatus = 22,
  kAdsTraceChangeRefused = 23,
  kAdsTraceBadNewPassword = 24,
  kAdsTraceBadOldPassword = 25,
  kAdsTraceAmbiguous = 26,
  kAdsTraceCountAfter = 27,
  kAdsTraceCountRose = 28,
  kAdsTraceCountUnchanged = 29,
  kAdsTraceOtherRefusal = 30,
  kAdsTraceWin32Status = 31,
  kAdsTraceOtherStatus = 32,
};

// Writes one trace point of the back end with its data items when the
// extension's trace module asks for its class (QTR_ENTRY from level 5,
// the others from level 1).
template <typename... Items>
void AdsTrace(EQtrClass eClass, USHORT nMessage, const Items&... items);

HRESULT findDN(LPCWSTR pwszUpn, LPWSTR* ppwszDn);
HRESULT bindIADsUser(LPCWSTR pwszDn, IADsUser** ppUser);
AdminError performChange(IADsUser* pUser, LPCWSTR pwszUpn, LPCWSTR pwszDn, LPCWSTR pwszOld,
                         LPCWSTR pwszNew);
LONG getBadPwdCount(LPCWSTR pwszDn);
void traceAdsResult(LPCWSTR pwszFunction, LPCWSTR pwszStep, HRESULT hr);

// The classification of a refused change by the low 16 bits of its status.
enum class EAdsRefusal { NewPasswordInvalid, OldPasswordInvalid, Ambiguous, Other };
EAdsRefusal ClassifyAdsRefusal(HRESULT hr);

#include "admin/password/ads/ads_trace.inl"
