#include "platform/activeds/directory_session.h"

#include <cstdlib>

#include "platform/activeds/ads_last_error.h"
#include "platform/ldap/ldap_search.h"

namespace {

// The live sessions of the service's identity, each shared with the thread
// that opened it.
std::mutex s_sharedLock;
std::vector<CDirectorySession*> s_rgShared;

std::string SharedKey(const platform::CDirectorySettings& settings) {
  std::string sKey = settings.sDomain + '\n' + settings.sSearchBase + '\n';
  for (const std::string& s : settings.rgsServers) sKey += s + ' ';
  sKey += '\n' + settings.sCaFile + '\n' + settings.sBindDn + '\n' + settings.sPasswordFile + '\n';
  sKey += settings.sKeytab + '\n' + settings.sKeytabPrincipal + '\n';
  sKey += settings.fStartTls ? '1' : '0';
  sKey += settings.fAllowPlainLoopback ? '1' : '0';
  return sKey;
}

std::string LowerDn(const std::string& sDn) {
  std::string s = sDn;
  for (char& ch : s)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return s;
}

bool SameName(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != 0; ++i) {
    char chA = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char chB = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (chA != chB) return false;
  }
  return i == a.size() && b[i] == 0;
}

// Win32 codes of the directory (winerror.h) for the LDAP result codes.
DWORD Win32FromLdap(int nCode) {
  switch (nCode) {
    case LDAP_SUCCESS: return 0;
    case LDAP_NO_SUCH_OBJECT: return 8240;           // ERROR_DS_NO_SUCH_OBJECT
    case LDAP_CONSTRAINT_VIOLATION: return 8239;     // ERROR_DS_CONSTRAINT_VIOLATION
    case LDAP_INVALID_CREDENTIALS: return 1326;      // ERROR_LOGON_FAILURE
    case LDAP_INSUFFICIENT_ACCESS: return 8344;      // ERROR_DS_INSUFF_ACCESS_RIGHTS
    case LDAP_UNWILLING_TO_PERFORM: return 8245;     // ERROR_DS_UNWILLING_TO_PERFORM
    case LDAP_SERVER_DOWN: return 8250;              // ERROR_DS_SERVER_DOWN
    case LDAP_CONNECT_ERROR: return 8250;
    case LDAP_TIMEOUT: return 1460;                  // ERROR_TIMEOUT
    case LDAP_CONFIDENTIALITY_REQUIRED: return 8232; // ERROR_DS_CONFIDENTIALITY_REQUIRED
    case LDAP_NO_SUCH_ATTRIBUTE: return 8047;        // ERROR_DS_NO_ATTRIBUTE_OR_VALUE
    case LDAP_BUSY: return 8206;                     // ERROR_DS_BUSY
    case LDAP_UNAVAILABLE: return 8207;              // ERROR_DS_UNAVAILABLE
    default: return 8224;                            // ERROR_DS_OPERATIONS_ERROR
  }
}

}  // namespace

HRESULT HresultFromLdap(LDAP* pld, int nCode) {
  std::string sText = pld != nullptr ? platform::DiagnosticMessage(pld) : std::string();
  if (sText.empty()) sText = ldap_err2string(nCode);
  // Active Directory starts its diagnostic text with the Win32 code in hex.
  DWORD dwExtended = static_cast<DWORD>(std::strtoul(sText.substr(0, 8).c_str(), nullptr, 16));
  SetAdsLastError(dwExtended != 0 ? dwExtended : static_cast<DWORD>(nCode), sText);
  if (nCode == LDAP_SUCCESS) return S_OK;
  return HRESULT_FROM_WIN32(Win32FromLdap(nCode));
}

std::string EscapeFilterValue(const std::string& s) {
  static constexpr char krgchHex[] = "0123456789abcdef";
  std::string sOut;
  for (unsigned char ch : s) {
    if (ch == '*' || ch == '(' || ch == ')' || ch == '\\' || ch == 0) {
      sOut += '\\';
      sOut += krgchHex[ch >> 4];
      sOut += krgchHex[ch & 15];
    } else {
      sOut += static_cast<char>(ch);
    }
  }
  return sOut;
}

HRESULT CDirectorySession::Open(const std::string& sUser, const std::string& sPassword,
                                CDirectorySession** ppSession) {
  *ppSession = nullptr;
  auto* pSession = new CDirectorySession();
  if (!platform::ReadDirectorySettings(&pSession->m_settings)) {
    pSession->Release();
    SetAdsLastError(1355, "no directory domain is configured");
    return HRESULT_FROM_WIN32(1355);  // ERROR_NO_SUCH_DOMAIN
  }
  int nCode = LDAP_SUCCESS;
  if (sUser.empty()) {
    std::string sKey = SharedKey(pSession->m_settings);
    if (CDirectorySession* pShared = FindShared(sKey)) {
      pSession->Release();
      ClearAdsLastError();
      *ppSession = pShared;
      return S_OK;
    }
    pSession->m_sSharedKey = sKey;
    // A pooled connection may have lost its server meanwhile: the first read
    // (the kind of directory) shows it, and a fresh connection replaces it
    // (the pool drops the other idle ones of the same server too).
    for (int nAttempt = 0; nAttempt < 2; ++nAttempt) {
      nCode = platform::AcquireServiceConnection(pSession->m_settings, &pSession->m_pld);
      if (nCode != LDAP_SUCCESS) break;
      pSession->m_fPooled = true;
      pSession->m_fBroken = false;
      pSession->m_nDirectoryKind = -1;
      pSession->IsActiveDirectory();
      if (!pSession->m_fBroken) break;
      platform::ReturnServiceConnection(pSession->m_settings, pSession->m_pld, false);
      pSession->m_pld = nullptr;
      pSession->m_fPooled = false;
      nCode = LDAP_SERVER_DOWN;
    }
  } else {
    nCode = platform::OpenDirectoryConnection(pSession->m_settings, &pSession->m_pld);
    if (nCode == LDAP_SUCCESS) nCode = platform::BindSimple(pSession->m_pld, sUser, sPassword);
  }
  if (nCode != LDAP_SUCCESS) {
    HRESULT hr = HresultFromLdap(pSession->m_pld, nCode);
    pSession->Release();
    return hr;
  }
  ClearAdsLastError();
  if (!pSession->m_sSharedKey.empty()) {
    pSession->m_idThread = std::this_thread::get_id();
    std::lock_guard<std::mutex> guard(s_sharedLock);
    s_rgShared.push_back(pSession);
  }
  *ppSession = pSession;
  return S_OK;
}

CDirectorySession* CDirectorySession::FindShared(const std::string& sKey) {
  std::lock_guard<std::mutex> guard(s_sharedLock);
  for (CDirectorySession* pSession : s_rgShared) {
    if (pSession->m_idThread != std::this_thread::get_id() || pSession->m_sSharedKey != sKey ||
        pSession->m_fBroken)
      continue;
    // Taken only while some object still holds it.
    ULONG cRef = pSession->m_cRef.load();
    while (cRef > 0 && !pSession->m_cRef.compare_exchange_weak(cRef, cRef + 1)) {
    }
    if (cRef > 0) return pSession;
  }
  return nullptr;
}

CDirectorySession::~CDirectorySession() {
  if (!m_sSharedKey.empty()) {
    std::lock_guard<std::mutex> guard(s_sharedLock);
    for (size_t i = 0; i < s_rgShared.size(); ++i)
      if (s_rgShared[i] == this) {
        s_rgShared.erase(s_rgShared.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
  }
  if (m_pld == nullptr) return;
  if (m_fPooled)
    platform::ReturnServiceConnection(m_settings, m_pld, !m_fBroken);
  else
    ldap_unbind_ext_s(m_pld, nullptr, nullptr);
}

void CDirectorySession::NoteResult(int nCode) {
  if (platform::IsConnectionFailure(nCode)) m_fBroken = true;
}

void CDirectorySession::Release() {
  if (m_cRef.fetch_sub(1) == 1) delete this;
}

bool CDirectorySession::IsActiveDirectory() {
  if (m_nDirectoryKind < 0) {
    // One search for both attributes: this is also the liveness check of a
    // pooled connection, made once per session.
    std::vector<std::vector<std::string>> rgrgsValues;
    ReadAttributes("", {"supportedCapabilities", "forestFunctionality"}, &rgrgsValues);
    bool fAd = !rgrgsValues[1].empty();
    for (const std::string& s : rgrgsValues[0])
      if (s == "1.2.840.113556.1.4.800") fAd = true;  // LDAP_CAP_ACTIVE_DIRECTORY_OID
    m_nDirectoryKind = fAd ? 1 : 0;
  }
  return m_nDirectoryKind == 1;
}

HRESULT CDirectorySession::ReadAttribute(const std::string& sDn, const char* pszAttribute,
                                         std::vector<std::string>* prgsValues) {
  std::vector<std::vector<std::string>> rgrgsValues;
  HRESULT hr = ReadAttributes(sDn, {pszAttribute}, &rgrgsValues);
  prgsValues->swap(rgrgsValues[0]);
  return hr;
}

HRESULT CDirectorySession::ReadAttributes(const std::string& sDn,
                                          const std::vector<const char*>& rgpszNames,
                                          std::vector<std::vector<std::string>>* prgrgsValues) {
  prgrgsValues->assign(rgpszNames.size(), {});
  std::vector<char*> rgpszAttrs;
  for (const char* psz : rgpszNames) rgpszAttrs.push_back(const_cast<char*>(psz));
  rgpszAttrs.push_back(nullptr);
  LDAPMessage* pRes = nullptr;
  int nCode = ldap_search_ext_s(m_pld, sDn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)",
                                rgpszAttrs.data(), 0, nullptr, nullptr, nullptr, 0, &pRes);
  NoteResult(nCode);
  HRESULT hr = HresultFromLdap(m_pld, nCode);
  LDAPMessage* pEntry = nCode == LDAP_SUCCESS ? ldap_first_entry(m_pld, pRes) : nullptr;
  for (size_t i = 0; pEntry != nullptr && i < rgpszNames.size(); ++i) {
    berval** rgpbv = ldap_get_values_len(m_pld, pEntry, rgpszNames[i]);
    for (int j = 0; rgpbv != nullptr && rgpbv[j] != nullptr; ++j)
      (*prgrgsValues)[i].emplace_back(rgpbv[j]->bv_val, rgpbv[j]->bv_len);
    ldap_value_free_len(rgpbv);
  }
  if (pRes != nullptr) ldap_msgfree(pRes);
  return hr;
}

HRESULT CDirectorySession::FindEntries(const std::string& sFilter,
                                       std::vector<std::string>* prgsDns) {
  prgsDns->clear();
  char szNoAttrs[] = LDAP_NO_ATTRS;
  char* rgpszAttrs[] = {szNoAttrs, nullptr};
  LDAPMessage* pRes = nullptr;
  int nCode = ldap_search_ext_s(m_pld, m_settings.sSearchBase.c_str(), LDAP_SCOPE_SUBTREE,
                                sFilter.c_str(), rgpszAttrs, 0, nullptr, nullptr, nullptr, 0, &pRes);
  NoteResult(nCode);
  HRESULT hr = HresultFromLdap(m_pld, nCode);
  for (LDAPMessage* pEntry = nCode == LDAP_SUCCESS ? ldap_first_entry(m_pld, pRes) : nullptr;
       pEntry != nullptr; pEntry = ldap_next_entry(m_pld, pEntry)) {
    char* pszDn = ldap_get_dn(m_pld, pEntry);
    if (pszDn != nullptr) prgsDns->emplace_back(pszDn);
    ldap_memfree(pszDn);
  }
  if (pRes != nullptr) ldap_msgfree(pRes);
  return hr;
}

bool CEntryFacts::HasClass(const char* pszClass) const {
  for (const std::string& s : rgsClasses)
    if (SameName(s, pszClass)) return true;
  return false;
}

std::vector<std::string> CDirectorySession::FactAttributes() {
  // Whatever the kind of directory: asking would cost a read of its own.
  return {"objectClass", "sAMAccountName", "uid", "cn"};
}

void CDirectorySession::RememberFacts(LDAP* pld, LDAPMessage* pEntry) {
  char* pszDn = ldap_get_dn(pld, pEntry);
  if (pszDn == nullptr) return;
  CEntryFacts facts;
  std::string sSam, sUid, sCn;
  BerElement* pBer = nullptr;
  for (char* pszName = ldap_first_attribute(pld, pEntry, &pBer); pszName != nullptr;
       pszName = ldap_next_attribute(pld, pEntry, pBer)) {
    std::string sName = pszName;
    berval** rgpbv = ldap_get_values_len(pld, pEntry, pszName);
    for (int i = 0; rgpbv != nullptr && rgpbv[i] != nullptr; ++i) {
      std::string sValue(rgpbv[i]->bv_val, rgpbv[i]->bv_len);
      if (SameName(sName, "objectClass"))
        facts.rgsClasses.push_back(sValue);
      else if (SameName(sName, "sAMAccountName") && sSam.empty())
        sSam = sValue;
      else if (SameName(sName, "uid") && sUid.empty())
        sUid = sValue;
      else if (SameName(sName, "cn") && sCn.empty())
        sCn = sValue;
    }
    ldap_value_free_len(rgpbv);
    ldap_memfree(pszName);
  }
  if (pBer != nullptr) ber_free(pBer, 0);
  facts.sAccount = !sSam.empty() ? sSam : sUid;
  if (facts.sAccount.empty() && (facts.HasClass("groupOfNames") || facts.HasClass("groupOfUniqueNames")))
    facts.sAccount = sCn;
  m_facts[LowerDn(pszDn)] = std::move(facts);
  ldap_memfree(pszDn);
}

HRESULT CDirectorySession::EntryFacts(const std::string& sDn, CEntryFacts* pFacts) {
  auto it = m_facts.find(LowerDn(sDn));
  if (it != m_facts.end()) {
    *pFacts = it->second;
    return S_OK;
  }
  platform::CPagedSearch search(m_pld, sDn, LDAP_SCOPE_BASE, "(objectClass=*)", FactAttributes(), 0);
  LDAPMessage* pRes = nullptr;
  int nCode = search.NextPage(&pRes);
  NoteResult(nCode);
  if (nCode != LDAP_SUCCESS) return HresultFromLdap(m_pld, nCode);
  LDAPMessage* pEntry = pRes != nullptr ? ldap_first_entry(m_pld, pRes) : nullptr;
  if (pEntry == nullptr) return HRESULT_FROM_WIN32(8240);  // ERROR_DS_NO_SUCH_OBJECT
  RememberFacts(m_pld, pEntry);
  it = m_facts.find(LowerDn(sDn));
  // A DN spelled differently from the server's own is found under the
  // server's spelling only; keep it under the asked one too.
  if (it == m_facts.end()) {
    char* pszDn = ldap_get_dn(m_pld, pEntry);
    it = m_facts.find(LowerDn(pszDn != nullptr ? pszDn : ""));
    ldap_memfree(pszDn);
    if (it == m_facts.end()) return HRESULT_FROM_WIN32(8240);
    m_facts[LowerDn(sDn)] = it->second;
  }
  *pFacts = it->second;
  return S_OK;
}

HRESULT CDirectorySession::PrefetchFacts(const std::string& sFilter) {
  platform::CPagedSearch search(m_pld, m_settings.sSearchBase, LDAP_SCOPE_SUBTREE, sFilter, FactAttributes(),
                                1000);
  for (;;) {
    LDAPMessage* pRes = nullptr;
    int nCode = search.NextPage(&pRes);
    NoteResult(nCode);
    if (nCode != LDAP_SUCCESS) return HresultFromLdap(m_pld, nCode);
    if (pRes == nullptr) return S_OK;
    for (LDAPMessage* pEntry = ldap_first_entry(m_pld, pRes); pEntry != nullptr;
         pEntry = ldap_next_entry(m_pld, pEntry))
      RememberFacts(m_pld, pEntry);
  }
}
