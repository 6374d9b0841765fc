// The directory-services entry points that group resolution calls, taken
// from the module that the current request's handler holds.
#pragma once

#include "platform/base/wintypes.h"

typedef HRESULT(WINAPI* PFN_ADSGETOBJECT)(LPCWSTR lpszPathName, REFIID riid, void** ppObject);
typedef HRESULT(WINAPI* PFN_ADSBUILDVARARRAYSTR)(LPWSTR* lppPathNames, DWORD dwPathNames,
                                                 void* pVar);

struct AdsiEntryPoints {
  PFN_ADSGETOBJECT pfnADsGetObject;
  PFN_ADSBUILDVARARRAYSTR pfnADsBuildVarArrayStr;
};

// Resolves both entry points from hModule; false when either is missing.
// Every handler resolves them from the module it holds itself, so no
// address outlives the load of the module it came from.
bool ResolveAdsiEntryPoints(HMODULE hModule, AdsiEntryPoints* pEntryPoints);
