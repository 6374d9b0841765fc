#include "platform/activeds/name_translate.h"

#include "platform/activeds/ads_last_error.h"
#include "platform/activeds/ads_object.h"
#include "platform/text/secret_text.h"

namespace {

#define E_NAME_NOT_FOUND HRESULT_FROM_WIN32(1332)   // ERROR_NONE_MAPPED
#define E_NAME_NOT_UNIQUE HRESULT_FROM_WIN32(8470)  // ERROR_DS_NAME_ERROR_NOT_UNIQUE
#define E_NOT_INITIALIZED HRESULT_FROM_WIN32(21)    // ERROR_NOT_READY

std::string Utf8(BSTR bstr) {
  return platform::ToUtf8(std::u16string_view(bstr, SysStringLen(bstr)));
}

std::string NetbiosName(const std::string& sDomain) {
  std::string s = sDomain.substr(0, sDomain.find('.'));
  for (char& ch : s)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  return s;
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char chA = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char chB = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (chA != chB) return false;
  }
  return true;
}

}  // namespace

HRESULT STDMETHODCALLTYPE CNameTranslate::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IADsNameTranslate) {
    *ppv = static_cast<IADsNameTranslate*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CNameTranslate::Release() {
  ULONG cRef = m_cRef.fetch_sub(1) - 1;
  if (cRef == 0) delete this;
  return cRef;
}

CNameTranslate::~CNameTranslate() {
  if (m_pSession != nullptr) m_pSession->Release();
}

HRESULT STDMETHODCALLTYPE CNameTranslate::Init(LONG lnSetType, BSTR bstrADsPath) {
  return InitEx(lnSetType, bstrADsPath, nullptr, nullptr, nullptr);
}

HRESULT STDMETHODCALLTYPE CNameTranslate::InitEx(LONG lnSetType, BSTR bstrADsPath,
                                                 BSTR bstrUserID, BSTR, BSTR bstrPassword) {
  if (lnSetType != ADS_NAME_INITTYPE_DOMAIN && lnSetType != ADS_NAME_INITTYPE_SERVER &&
      lnSetType != ADS_NAME_INITTYPE_GC)
    return E_INVALIDARG;
  if (m_pSession != nullptr) {
    m_pSession->Release();
    m_pSession = nullptr;
  }
  const platform::CSecretUtf8 secret(bstrPassword);  // exact size: no copies left behind
  std::string sPassword(secret.Text(), secret.Size());
  CDirectorySession* pSession = nullptr;
  HRESULT hr = CDirectorySession::Open(Utf8(bstrUserID), sPassword, &pSession);
  platform::WipeString(&sPassword);
  if (FAILED(hr)) return hr;
  // Only the server's own domain is known here.
  if (lnSetType == ADS_NAME_INITTYPE_DOMAIN && SysStringLen(bstrADsPath) != 0 &&
      !SameText(Utf8(bstrADsPath), pSession->Settings().sDomain)) {
    pSession->Release();
    return HRESULT_FROM_WIN32(1355);  // ERROR_NO_SUCH_DOMAIN
  }
  m_pSession = pSession;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CNameTranslate::Set(LONG lnSetType, BSTR bstrADsPath) {
  if (m_pSession == nullptr) return E_NOT_INITIALIZED;
  m_sDn.clear();
  std::string sName = Utf8(bstrADsPath);
  if (sName.empty()) return E_INVALIDARG;
  bool fAd = m_pSession->IsActiveDirectory();
  std::string sFilter;
  switch (lnSetType) {
    case ADS_NAME_TYPE_1779: {
      CEntryFacts facts;
      HRESULT hr = m_pSession->EntryFacts(sName, &facts);
      if (FAILED(hr)) return hr == HRESULT_FROM_WIN32(8240) ? E_NAME_NOT_FOUND : hr;
      m_sDn = sName;
      return S_OK;
    }
    case ADS_NAME_TYPE_USER_PRINCIPAL_NAME: {
      std::string sValue = EscapeFilterValue(sName);
      sFilter = fAd ? "(userPrincipalName=" + sValue + ")"
                    : "(|(userPrincipalName=" + sValue + ")(mail=" + sValue + "))";
      break;
    }
    case ADS_NAME_TYPE_NT4: {
      size_t nSlash = sName.find('\\');
      if (nSlash == std::string::npos) return E_INVALIDARG;
      if (!SameText(sName.substr(0, nSlash), NetbiosName(m_pSession->Settings().sDomain)))
        return E_NAME_NOT_FOUND;
      // "DOMAIN\" alone names the domain itself.
      if (nSlash + 1 == sName.size()) {
        m_sDn = m_pSession->Settings().sSearchBase;
        return S_OK;
      }
      std::string sValue = EscapeFilterValue(sName.substr(nSlash + 1));
      sFilter = fAd ? "(sAMAccountName=" + sValue + ")"
                    : "(|(uid=" + sValue + ")(&(|(objectClass=groupOfNames)(objectClass=groupOfUniqueNames))(cn=" +
                          sValue + ")))";
      break;
    }
    default:
      return E_INVALIDARG;
  }
  std::vector<std::string> rgsDns;
  HRESULT hr = m_pSession->FindEntries(sFilter, &rgsDns);
  if (FAILED(hr)) return hr;
  if (rgsDns.empty()) return E_NAME_NOT_FOUND;
  if (rgsDns.size() > 1) return E_NAME_NOT_UNIQUE;
  m_sDn = rgsDns.front();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CNameTranslate::Get(LONG lnFormatType, BSTR* pbstrADsPath) {
  if (pbstrADsPath == nullptr) return E_POINTER;
  *pbstrADsPath = nullptr;
  if (m_pSession == nullptr || m_sDn.empty()) return E_NOT_INITIALIZED;
  std::string sName;
  std::vector<std::string> rgsValues;
  bool fAd = m_pSession->IsActiveDirectory();
  switch (lnFormatType) {
    case ADS_NAME_TYPE_1779:
      sName = m_sDn;
      break;
    case ADS_NAME_TYPE_USER_PRINCIPAL_NAME: {
      HRESULT hr = m_pSession->ReadAttribute(m_sDn, "userPrincipalName", &rgsValues);
      if (SUCCEEDED(hr) && rgsValues.empty() && !fAd)
        hr = m_pSession->ReadAttribute(m_sDn, "mail", &rgsValues);
      if (FAILED(hr)) return hr;
      if (rgsValues.empty()) return E_NAME_NOT_FOUND;
      sName = rgsValues.front();
      break;
    }
    case ADS_NAME_TYPE_NT4: {
      std::string sDomain = NetbiosName(m_pSession->Settings().sDomain);
      if (SameText(m_sDn, m_pSession->Settings().sSearchBase)) {
        sName = sDomain + "\\";
        break;
      }
      CEntryFacts facts;
      HRESULT hr = m_pSession->EntryFacts(m_sDn, &facts);
      if (FAILED(hr)) return hr;
      if (facts.sAccount.empty()) return E_NAME_NOT_FOUND;
      sName = sDomain + "\\" + facts.sAccount;
      break;
    }
    default:
      return E_INVALIDARG;
  }
  *pbstrADsPath = AllocUtf8Bstr(sName);
  return *pbstrADsPath == nullptr ? E_OUTOFMEMORY : S_OK;
}
