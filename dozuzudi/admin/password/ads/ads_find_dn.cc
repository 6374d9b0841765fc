// Finding the user's distinguished name through the name translator, and
// binding to the user object.
#include "admin/password/ads/ads_steps.h"
#include "admin/password/ads/adsi_library.h"
#include "platform/netapi/netapi.h"
#include "platform/text/wstr.h"

HRESULT findDN(LPCWSTR pwszUpn, LPWSTR* ppwszDn) {
  AdsTrace(QTR_ENTRY, kAdsTraceFindDn);
  *ppwszDn = nullptr;
  IADsNameTranslate* pNto = nullptr;
  PDOMAIN_CONTROLLER_INFOW pDcInfo = nullptr;
  BSTR bstrDn = nullptr;
  BSTR bstrArgument = nullptr;

  HRESULT hr = CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IADsNameTranslate, reinterpret_cast<void**>(&pNto));
  traceAdsResult(u"findDN", u"CoCreateInstance", hr);
  if (SUCCEEDED(hr)) {
    DWORD dwResult = DsGetDcNameW(nullptr, nullptr, nullptr, nullptr,
                                  DS_DIRECTORY_SERVICE_REQUIRED | DS_RETURN_DNS_NAME, &pDcInfo);
    hr = dwResult == 0 ? S_OK : HRESULT_FROM_WIN32(dwResult);
    traceAdsResult(u"findDN", u"DsGetDcName", hr);
  }
  if (SUCCEEDED(hr)) {
    bstrArgument = SysAllocString(pDcInfo->DomainName);
    hr = pNto->Init(ADS_NAME_INITTYPE_DOMAIN, bstrArgument);
    SysFreeString(bstrArgument);
    traceAdsResult(u"findDN", u"pNto->Init", hr);
  }
  if (SUCCEEDED(hr)) {
    bstrArgument = SysAllocString(pwszUpn);
    hr = pNto->Set(ADS_NAME_TYPE_USER_PRINCIPAL_NAME, bstrArgument);
    SysFreeString(bstrArgument);
    traceAdsResult(u"findDN", u"pNto->Set", hr);
  }
  if (SUCCEEDED(hr)) {
    hr = pNto->Get(ADS_NAME_TYPE_1779, &bstrDn);
    traceAdsResult(u"findDN", u"pNto->Get", hr);
  }
  if (SUCCEEDED(hr)) {
    UINT cw = SysStringLen(bstrDn);
    *ppwszDn = new WCHAR[cw + 1];
    for (UINT i = 0; i < cw; ++i) (*ppwszDn)[i] = bstrDn[i];
    (*ppwszDn)[cw] = 0;
    AdsTrace(QTR_INFO, kAdsTraceDnFound, QtrString(*ppwszDn));
  }
  if (pNto != nullptr) pNto->Release();
  SysFreeString(bstrDn);
  if (pDcInfo != nullptr) NetApiBufferFree(pDcInfo);
  traceAdsResult(u"findDN", u"exiting", hr);
  return hr;
}

HRESULT bindIADsUser(LPCWSTR pwszDn, IADsUser** ppUser) {
  AdsTrace(QTR_ENTRY, kAdsTraceBindUser);
  static constexpr WCHAR krgwPrefix[] = u"LDAP://";
  // The path names no server: the directory client picks the controller.
  size_t cw = wcslen(pwszDn) + 8;
  auto* pwszPath = new WCHAR[cw];
  wcscpy(pwszPath, krgwPrefix);
  wcscat(pwszPath, pwszDn);
  AdsTrace(QTR_INFO, kAdsTracePath, QtrString(pwszPath));
  HRESULT hr = AdsOpenObject(pwszPath, nullptr, nullptr, ADS_SECURE_AUTHENTICATION, IID_IADsUser,
                             reinterpret_cast<void**>(ppUser));
  if (FAILED(hr)) traceAdsResult(u"bindIADsUser", u"ADSOpenObject", hr);
  delete[] pwszPath;
  return hr;
}
