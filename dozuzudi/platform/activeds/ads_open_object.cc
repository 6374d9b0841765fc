// The library's exported entry points: binding to directory objects by
// path, and the class object of the name translator.
#include <atomic>

#include "platform/activeds/ads_group.h"
#include "platform/activeds/ads_last_error.h"
#include "platform/activeds/name_translate.h"
#include "platform/activeds/winnt_group.h"

namespace {

std::string Utf8(LPCWSTR pw) { return pw == nullptr ? std::string() : platform::ToUtf8(pw); }

class CNameTranslateFactory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // A static object: references are not counted.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    auto* pTranslate = new CNameTranslate();
    HRESULT hr = pTranslate->QueryInterface(riid, ppv);
    pTranslate->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

CNameTranslateFactory g_nameTranslateFactory;

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!(rclsid == CLSID_NameTranslate)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_nameTranslateFactory.QueryInterface(riid, ppv);
}

extern "C" HRESULT ADsOpenObject(LPCWSTR lpszPathName, LPCWSTR lpszUserName, LPCWSTR lpszPassword,
                                 DWORD, REFIID riid, void** ppObject) {
  if (ppObject == nullptr) return E_POINTER;
  *ppObject = nullptr;
  std::string sPath = Utf8(lpszPathName);
  if (sPath.rfind("WinNT://", 0) == 0) return OpenWinNTObject(sPath.substr(8), riid, ppObject);
  if (sPath.rfind("LDAP://", 0) != 0) return E_ADS_BAD_PATHNAME;
  std::string sDn = sPath.substr(7);
  // "LDAP://server/DN": the server is one of the domain's own, which the
  // settings list; the DN alone names the object.
  size_t nSlash = sDn.find('/');
  if (nSlash != std::string::npos && sDn.find('=') > nSlash) sDn = sDn.substr(nSlash + 1);
  if (sDn.empty()) return E_ADS_BAD_PATHNAME;

  std::string sPassword = Utf8(lpszPassword);
  CDirectorySession* pSession = nullptr;
  HRESULT hr = CDirectorySession::Open(Utf8(lpszUserName), sPassword, &pSession);
  platform::WipeString(&sPassword);
  if (FAILED(hr)) return hr;
  SEntryFacts facts;
  hr = pSession->EntryFacts(sDn, &facts);
  if (SUCCEEDED(hr)) {
    IADs* pObject = MakeDirectoryObject(pSession, sDn, facts);
    hr = pObject->QueryInterface(riid, ppObject);
    pObject->Release();
  }
  pSession->Release();
  return hr;
}

extern "C" HRESULT ADsGetObject(LPCWSTR lpszPathName, REFIID riid, void** ppObject) {
  return ADsOpenObject(lpszPathName, nullptr, nullptr, ADS_SECURE_AUTHENTICATION, riid, ppObject);
}

// The strings as a VT_ARRAY | VT_VARIANT of VT_BSTR, indexed from 0.
extern "C" HRESULT ADsBuildVarArrayStr(LPWSTR* lppPathNames, DWORD dwPathNames, VARIANT* pVar) {
  if (pVar == nullptr || (lppPathNames == nullptr && dwPathNames != 0)) return E_INVALIDARG;
  VariantInit(pVar);
  SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, dwPathNames);
  if (psa == nullptr) return E_OUTOFMEMORY;
  for (DWORD i = 0; i < dwPathNames; ++i) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(lppPathNames[i] != nullptr ? lppPathNames[i] : u"");
    LONG nIndex = static_cast<LONG>(i);
    HRESULT hr = v.bstrVal == nullptr ? E_OUTOFMEMORY : SafeArrayPutElement(psa, &nIndex, &v);
    VariantClear(&v);
    if (FAILED(hr)) {
      SafeArrayDestroy(psa);
      return hr;
    }
  }
  pVar->vt = VT_ARRAY | VT_VARIANT;
  pVar->parray = psa;
  return S_OK;
}
