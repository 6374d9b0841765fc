// CoCreateInstance of in-process servers registered in the registry, and
// OleRun.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/base/module.h"
#include "platform/registry/registry.h"
#include "platform/base/sync.h"

namespace {

// Modules that have served an object stay loaded; one reference each.
CRITICAL_SECTION s_csModules;
std::vector<HMODULE> s_rgServingModules GUARDED_BY(s_csModules);

void KeepLoaded(HMODULE hModule) {
  EnterCriticalSection(&s_csModules);
  bool fHeld = std::find(s_rgServingModules.begin(), s_rgServingModules.end(), hModule) !=
               s_rgServingModules.end();
  if (!fHeld) s_rgServingModules.push_back(hModule);
  LeaveCriticalSection(&s_csModules);
  if (fHeld) FreeLibrary(hModule);
}

// The default value of a key as text, empty when it has none.
std::u16string DefaultText(HKEY hRoot, const std::u16string& sSubKey) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(hRoot, sSubKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return {};
  std::u16string sValue = platform::ReadRegistryText(hKey, nullptr);
  RegCloseKey(hKey);
  return sValue;
}

std::u16string InprocServer(REFCLSID rclsid) {
  WCHAR wszClsid[39];
  StringFromGUID2(rclsid, wszClsid, 39);
  std::u16string sKey = u"CLSID\\" + std::u16string(wszClsid) + u"\\InprocServer32";
  std::u16string sServer = DefaultText(HKEY_CLASSES_ROOT, sKey);
  if (sServer.empty()) sServer = DefaultText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\" + sKey);
  return sServer;
}

}  // namespace

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (platform::ComApartmentDepth() == 0) return CO_E_NOTINITIALIZED;
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  std::u16string sServer = InprocServer(rclsid);
  if (sServer.empty()) return REGDB_E_CLASSNOTREG;
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;

  HMODULE hModule = LoadLibraryW(sServer.c_str());
  if (hModule == nullptr) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  auto pfnGetClassObject =
      reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(hModule, "DllGetClassObject"));
  if (pfnGetClassObject == nullptr) {
    FreeLibrary(hModule);
    return CO_E_ERRORINDLL;
  }
  IClassFactory* pFactory = nullptr;
  HRESULT hr = pfnGetClassObject(rclsid, IID_IClassFactory, reinterpret_cast<void**>(&pFactory));
  if (SUCCEEDED(hr) && pFactory == nullptr) hr = E_UNEXPECTED;
  if (SUCCEEDED(hr)) {
    hr = pFactory->CreateInstance(nullptr, riid, ppv);
    pFactory->Release();
    if (FAILED(hr)) *ppv = nullptr;
  }
  if (SUCCEEDED(hr))
    KeepLoaded(hModule);
  else
    FreeLibrary(hModule);
  return hr;
}

HRESULT OleRun(LPUNKNOWN pUnknown) { return pUnknown == nullptr ? E_INVALIDARG : S_OK; }
