#include "platform/activeds/ads_last_error.h"

#include "platform/text/wstr.h"

namespace {

thread_local DWORD t_dwCode = 0;
thread_local std::u16string t_sText;

void CopyBounded(const std::u16string& s, LPWSTR pwBuffer, DWORD cwBuffer) {
  if (pwBuffer == nullptr || cwBuffer == 0) return;
  size_t cw = s.size() < cwBuffer - 1 ? s.size() : cwBuffer - 1;
  for (size_t i = 0; i < cw; ++i) pwBuffer[i] = s[i];
  pwBuffer[cw] = 0;
}

}  // namespace

void SetAdsLastError(DWORD dwCode, const std::string& sText) {
  t_dwCode = dwCode;
  t_sText = platform::FromUtf8(sText);
}

void ClearAdsLastError() { SetAdsLastError(0, {}); }

extern "C" HRESULT ADsGetLastError(LPDWORD lpError, LPWSTR lpErrorBuf, DWORD dwErrorBufLen,
                                   LPWSTR lpNameBuf, DWORD dwNameBufLen) {
  if (lpError == nullptr) return E_POINTER;
  *lpError = t_dwCode;
  CopyBounded(t_sText, lpErrorBuf, dwErrorBufLen);
  CopyBounded(u"LDAP Provider", lpNameBuf, dwNameBufLen);
  return S_OK;
}
