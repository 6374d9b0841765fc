#include "admin/password/ads/adsi_library.h"

#include <atomic>

#include "platform/activeds/adsi.h"
#include "platform/base/module.h"

namespace {

std::atomic<PFN_ADSOPENOBJECT> s_pfnOpenObject{nullptr};
std::atomic<PFN_ADSGETLASTERROR> s_pfnGetLastError{nullptr};

// Loads the library once it is needed; it stays loaded.
HRESULT ResolveKeptEntryPoints() {
  if (s_pfnOpenObject.load() != nullptr && s_pfnGetLastError.load() != nullptr) return S_OK;
  HMODULE hModule = LoadLibraryW(kwszAdsiLibrary);
  if (hModule == nullptr) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  auto pfnOpen = reinterpret_cast<PFN_ADSOPENOBJECT>(GetProcAddress(hModule, "ADsOpenObject"));
  auto pfnLast = reinterpret_cast<PFN_ADSGETLASTERROR>(GetProcAddress(hModule, "ADsGetLastError"));
  if (pfnOpen == nullptr || pfnLast == nullptr) {
    FreeLibrary(hModule);
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  }
  PFN_ADSOPENOBJECT pfnExpected = nullptr;
  // A thread that loses the race drops its own reference.
  if (!s_pfnOpenObject.compare_exchange_strong(pfnExpected, pfnOpen)) FreeLibrary(hModule);
  s_pfnGetLastError.store(pfnLast);
  return S_OK;
}

}  // namespace

HRESULT AdsOpenObject(LPCWSTR pwszPath, LPCWSTR pwszUser, LPCWSTR pwszPassword, DWORD dwFlags,
                      REFIID riid, void** ppObject) {
  *ppObject = nullptr;
  HRESULT hr = ResolveKeptEntryPoints();
  if (FAILED(hr)) return hr;
  return s_pfnOpenObject.load()(pwszPath, pwszUser, pwszPassword, dwFlags, riid, ppObject);
}

HRESULT AdsGetLastError(LPDWORD pdwError, LPWSTR pwszError, DWORD cwError, LPWSTR pwszProvider,
                        DWORD cwProvider) {
  HRESULT hr = ResolveKeptEntryPoints();
  if (FAILED(hr)) return hr;
  return s_pfnGetLastError.load()(pdwError, pwszError, cwError, pwszProvider, cwProvider);
}

bool ResolveAdsiEntryPoints(HMODULE hModule, CAdsiEntryPoints* pEntryPoints) {
  pEntryPoints->pfnADsGetObject =
      reinterpret_cast<PFN_ADSGETOBJECT>(GetProcAddress(hModule, "ADsGetObject"));
  pEntryPoints->pfnADsBuildVarArrayStr =
      reinterpret_cast<PFN_ADSBUILDVARARRAYSTR>(GetProcAddress(hModule, "ADsBuildVarArrayStr"));
  return pEntryPoints->pfnADsGetObject != nullptr && pEntryPoints->pfnADsBuildVarArrayStr != nullptr;
}
