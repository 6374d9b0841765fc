// Status tracing of the directory back end.
#include "admin/password/ads/ads_steps.h"
#include "admin/password/ads/adsi_library.h"

void traceAdsResult(LPCWSTR pwszFunction, LPCWSTR pwszStep, HRESULT hr) {
  LONG nStatus = hr;
  if ((static_cast<ULONG>(hr) & 0x1FFF0000) == 0x00070000) {
    DWORD dwError = 0;
    WCHAR wszError[512] = {0};
    WCHAR wszProvider[512] = {0};
    AdsGetLastError(&dwError, wszError, 511, wszProvider, 511);
    AdsTrace(QTR_ERROR, kAdsTraceWin32Status, QtrString(pwszFunction), QtrString(pwszStep),
             QtrInt(nStatus), QtrInt(dwError), QtrInt(dwError), QtrString(wszError),
             QtrString(wszProvider));
  } else {
    AdsTrace(QTR_ERROR, kAdsTraceOtherStatus, QtrString(pwszFunction), QtrString(pwszStep),
             QtrInt(nStatus));
  }
}
