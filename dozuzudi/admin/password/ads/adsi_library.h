// The directory-services library ("ACTIVEDS.DLL") and its entry points: the
// one place the extension loads it.
//
// Two lifetimes, as their callers need them:
// - AdsOpenObject and AdsGetLastError, for the directory back end: the
//   library is loaded on first use and stays loaded, since the objects it
//   made may outlive any one call.
// - CAdsiEntryPoints, for the request handler: taken from the module the
//   handler loads and holds itself, so that no address outlives the load of
//   the module it came from.
#pragma once

#include "platform/base/wintypes.h"
#include "platform/com/oleauto.h"

typedef HRESULT(WINAPI* PFN_ADSGETOBJECT)(LPCWSTR lpszPathName, REFIID riid, void** ppObject);
typedef HRESULT(WINAPI* PFN_ADSBUILDVARARRAYSTR)(LPWSTR* lppPathNames, DWORD dwPathNames,
                                                 VARIANT* pVar);

// The library's module name.
inline constexpr WCHAR kwszAdsiLibrary[] = u"ACTIVEDS.DLL";

// ADsOpenObject and ADsGetLastError of the library kept loaded.
// HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) or ERROR_PROC_NOT_FOUND when the
// library or an entry point is missing.
HRESULT AdsOpenObject(LPCWSTR pwszPath, LPCWSTR pwszUser, LPCWSTR pwszPassword, DWORD dwFlags,
                      REFIID riid, void** ppObject);
HRESULT AdsGetLastError(LPDWORD pdwError, LPWSTR pwszError, DWORD cwError, LPWSTR pwszProvider,
                        DWORD cwProvider);

struct CAdsiEntryPoints {
  PFN_ADSGETOBJECT pfnADsGetObject;
  PFN_ADSBUILDVARARRAYSTR pfnADsBuildVarArrayStr;
};

// Resolves both entry points from hModule; false when either is missing.
bool ResolveAdsiEntryPoints(HMODULE hModule, CAdsiEntryPoints* pEntryPoints);
