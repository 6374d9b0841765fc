// Status tracing of the directory back end, and the directory-services
// library's entry points it calls.
#include <atomic>

#include "admin/password/ads_steps.h"
#include "platform/base/module.h"

namespace {

std::atomic<PFN_ADSOPENOBJECT> ms_pfnOpenObject{nullptr};
std::atomic<PFN_ADSGETLASTERROR> ms_pfnGetLastError{nullptr};

// Loads the library once it is needed; it stays loaded, since the objects it
// made may outlive any one call.
HRESULT ResolveAds() {
  if (ms_pfnOpenObject.load() != nullptr && ms_pfnGetLastError.load() != nullptr) return S_OK;
  HMODULE hModule = LoadLibraryW(u"ACTIVEDS.DLL");
  if (hModule == nullptr) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  auto pfnOpen = reinterpret_cast<PFN_ADSOPENOBJECT>(GetProcAddress(hModule, "ADsOpenObject"));
  auto pfnLast = reinterpret_cast<PFN_ADSGETLASTERROR>(GetProcAddress(hModule, "ADsGetLastError"));
  if (pfnOpen == nullptr || pfnLast == nullptr) {
    FreeLibrary(hModule);
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  }
  PFN_ADSOPENOBJECT pfnExpected = nullptr;
  // A thread that loses the race drops its own reference.
  if (!ms_pfnOpenObject.compare_exchange_strong(pfnExpected, pfnOpen)) FreeLibrary(hModule);
  ms_pfnGetLastError.store(pfnLast);
  return S_OK;
}

}  // namespace

HRESULT AdsOpenObject(LPCWSTR pwszPath, LPCWSTR pwszUser, LPCWSTR pwszPassword, DWORD dwFlags,
                      REFIID riid, void** ppObject) {
  *ppObject = nullptr;
  HRESULT hr = ResolveAds();
  if (FAILED(hr)) return hr;
  return ms_pfnOpenObject.load()(pwszPath, pwszUser, pwszPassword, dwFlags, riid, ppObject);
}

HRESULT AdsGetLastError(LPDWORD pdwError, LPWSTR pwszError, DWORD cwError, LPWSTR pwszProvider,
                        DWORD cwProvider) {
  HRESULT hr = ResolveAds();
  if (FAILED(hr)) return hr;
  return ms_pfnGetLastError.load()(pdwError, pwszError, cwError, pwszProvider, cwProvider);
}

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
