// The library's exported entry points: binding to directory objects by
// path, and the class object of the name translator.
#include "platform/activeds/ads_group.h"
#include "platform/activeds/ads_last_error.h"
#include "platform/activeds/name_translate.h"
#include "platform/activeds/winnt_group.h"
#include "platform/text/secret_text.h"

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return platform::GetClassObject(
      {{CLSID_NameTranslate, platform::CClassFactory<CNameTranslate>::Instance()}}, rclsid, riid, ppv);
}

extern "C" HRESULT ADsOpenObject(LPCWSTR lpszPathName, LPCWSTR lpszUserName, LPCWSTR lpszPassword,
                                 DWORD, REFIID riid, void** ppObject) {
  if (ppObject == nullptr) return E_POINTER;
  *ppObject = nullptr;
  std::string sPath = platform::ToUtf8(lpszPathName);
  if (sPath.rfind("WinNT://", 0) == 0) return OpenWinNTObject(sPath.substr(8), riid, ppObject);
  if (sPath.rfind("LDAP://", 0) != 0) return E_ADS_BAD_PATHNAME;
  std::string sDn = sPath.substr(7);
  // "LDAP://server/DN": the server is one of the domain's own, which the
  // settings list; the DN alone names the object.
  size_t nSlash = sDn.find('/');
  if (nSlash != std::string::npos && sDn.find('=') > nSlash) sDn = sDn.substr(nSlash + 1);
  if (sDn.empty()) return E_ADS_BAD_PATHNAME;

  const platform::CSecretUtf8 secret(lpszPassword);  // exact size: no copies left behind
  std::string sPassword(secret.Text(), secret.Size());
  CDirectorySession* pSession = nullptr;
  HRESULT hr = CDirectorySession::Open(platform::ToUtf8(lpszUserName), sPassword, &pSession);
  platform::WipeString(&sPassword);
  if (FAILED(hr)) return hr;
  CEntryFacts facts;
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
