#include "admin/password/ads/ads_password.h"

#include "admin/password/ads/ads_steps.h"
#include "admin/password/library/password_library.h"

EAdsRefusal ClassifyAdsRefusal(HRESULT hr) {
  switch (static_cast<ULONG>(hr) & 0xFFFF) {
    case 2244:  // NERR_PasswordHistConflict
    case 2245:  // NERR_PasswordTooShort
    case 2246:  // NERR_PasswordTooRecent
      return EAdsRefusal::NewPasswordInvalid;
    case 2242:  // NERR_PasswordExpired
    case 2203:  // NERR_BadPassword
      return EAdsRefusal::OldPasswordInvalid;
    case 8239:  // ERROR_DS_CONSTRAINT_VIOLATION
    case 86:    // ERROR_INVALID_PASSWORD
      return EAdsRefusal::Ambiguous;
    default:
      return EAdsRefusal::Other;
  }
}

AdminError performChange(IADsUser* pUser, LPCWSTR pwszUpn, LPCWSTR pwszDn, LPCWSTR pwszOld,
                         LPCWSTR pwszNew) {
  AdsTrace(QTR_ENTRY, kAdsTracePerformChange);
  LONG nBefore = getBadPwdCount(pwszDn);
  AdsTrace(QTR_INFO, kAdsTraceCountBefore, QtrInt(nBefore));
  HRESULT hr = ChangeDirectoryPassword(pUser, pwszUpn, pwszOld, pwszNew);
  LONG nStatus = hr;
  AdsTrace(QTR_INFO, kAdsTraceChangeStatus, QtrInt(nStatus), QtrInt(nStatus));
  if (SUCCEEDED(hr)) return nullptr;

  traceAdsResult(u"performChange", u"pUser->ChangePassword", hr);
  AdsTrace(QTR_ERROR, kAdsTraceChangeRefused);
  switch (ClassifyAdsRefusal(hr)) {
    case EAdsRefusal::NewPasswordInvalid:
      AdsTrace(QTR_ERROR, kAdsTraceBadNewPassword);
      return ERR_ID_NEW_PASSWORD_INVALID;
    case EAdsRefusal::OldPasswordInvalid:
      AdsTrace(QTR_ERROR, kAdsTraceBadOldPassword);
      return ERR_ID_OLD_PASSWORD_INVALID;
    case EAdsRefusal::Other:
      AdsTrace(QTR_ERROR, kAdsTraceOtherRefusal);
      return ERR_ID_OPERATION_FAILED;
    case EAdsRefusal::Ambiguous:
      break;
  }
  // The directory answers a wrong old password and a refused new one alike;
  // a failed logon raises the user's bad-password count, a refused new
  // password does not.
  AdsTrace(QTR_ERROR, kAdsTraceAmbiguous);
  LONG nAfter = getBadPwdCount(pwszDn);
  if (nAfter == -1) return ERR_ID_OPERATION_FAILED;
  AdsTrace(QTR_INFO, kAdsTraceCountAfter, QtrInt(nAfter));
  if (nAfter > nBefore) {
    AdsTrace(QTR_INFO, kAdsTraceCountRose);
    return ERR_ID_OLD_PASSWORD_INVALID;
  }
  AdsTrace(QTR_INFO, kAdsTraceCountUnchanged);
  return ERR_ID_NEW_PASSWORD_INVALID;
}

AdminError ChangeAdsPassword(LPCWSTR pwszUpn, LPCWSTR pwszOld, LPCWSTR pwszNew) {
  AdsTrace(QTR_ENTRY, kAdsTraceEntry);
  CoInitialize(nullptr);
  LPWSTR pwszDn = nullptr;
  IADsUser* pUser = nullptr;
  AdminError pwszResult = ERR_ID_OPERATION_FAILED;
  if (SUCCEEDED(findDN(pwszUpn, &pwszDn)) && SUCCEEDED(bindIADsUser(pwszDn, &pUser)))
    pwszResult = performChange(pUser, pwszUpn, pwszDn, pwszOld, pwszNew);
  delete[] pwszDn;
  if (pUser != nullptr) pUser->Release();
  CoUninitialize();
  return pwszResult;
}
