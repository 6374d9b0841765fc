// IDirectorySearch below a directory entry: a search whose rows are read
// page by page (the paged results control) as the caller moves on, so that
// a page size gives results of any size whole.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include "platform/activeds/ads_object.h"
#include "platform/ldap/ldap_search.h"

#define S_ADS_ERRORSOCCURRED static_cast<HRESULT>(0x00005011)

namespace {

// Attributes whose values are binary or small integers; the others are text.
bool IsBinaryAttribute(const std::string& s) {
  return strcasecmp(s.c_str(), "objectGUID") == 0 || strcasecmp(s.c_str(), "objectSid") == 0 ||
         strcasecmp(s.c_str(), "nTSecurityDescriptor") == 0 || strcasecmp(s.c_str(), "tokenGroups") == 0;
}

bool IsDnAttribute(const std::string& s) {
  return strcasecmp(s.c_str(), "distinguishedName") == 0 || strcasecmp(s.c_str(), "member") == 0 ||
         strcasecmp(s.c_str(), "memberOf") == 0 || strcasecmp(s.c_str(), "manager") == 0;
}

// One executed search: its pages and the row it stands on.
struct CSearch {
  CSearch(LDAP* pld, const std::string& sBase, int nScope, const std::string& sFilter,
          std::vector<std::string> rgsAttributes, int nPageSize)
      : m_pages(pld, sBase, nScope, sFilter, std::move(rgsAttributes), nPageSize) {}
  platform::CPagedSearch m_pages;
  LDAPMessage* m_pPage = nullptr;   // the current page, owned by m_pages
  LDAPMessage* m_pEntry = nullptr;  // the current row
  bool m_fStarted = false;
};

class CDirectorySearch final : public IDirectorySearch {
 public:
  CDirectorySearch(CDirectorySession* pSession, std::string sDn) : m_pSession(pSession), m_sDn(std::move(sDn)) {
    m_pSession->AddRef();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectorySearch) {
      *ppv = static_cast<IDirectorySearch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return m_cRef.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG cRef = m_cRef.fetch_sub(1) - 1;
    if (cRef == 0) delete this;
    return cRef;
  }

  HRESULT STDMETHODCALLTYPE SetSearchPreference(PADS_SEARCHPREF_INFO pPrefs, DWORD cPrefs) override {
    if (pPrefs == nullptr && cPrefs != 0) return E_POINTER;
    HRESULT hr = S_OK;
    for (DWORD i = 0; i < cPrefs; ++i) {
      ADS_SEARCHPREF_INFO& pref = pPrefs[i];
      pref.dwStatus = ADS_STATUS_S_OK;
      bool fInteger = pref.vValue.dwType == ADSTYPE_INTEGER;
      switch (pref.dwSearchPref) {
        case ADS_SEARCHPREF_SEARCH_SCOPE:
          if (fInteger && pref.vValue.Integer <= static_cast<DWORD>(ADS_SCOPE_SUBTREE))
            m_nScope = static_cast<int>(pref.vValue.Integer);
          else
            pref.dwStatus = ADS_STATUS_INVALID_SEARCHPREFVALUE;
          break;
        case ADS_SEARCHPREF_PAGESIZE:
          if (fInteger && pref.vValue.Integer <= 0x7FFFFFFFu)
            m_nPageSize = static_cast<int>(pref.vValue.Integer);
          else
            pref.dwStatus = ADS_STATUS_INVALID_SEARCHPREFVALUE;
          break;
        case ADS_SEARCHPREF_CHASE_REFERRALS:
          break;  // references are never chased
        default:
          pref.dwStatus = ADS_STATUS_INVALID_SEARCHPREF;
          break;
      }
      if (pref.dwStatus != ADS_STATUS_S_OK) hr = S_ADS_ERRORSOCCURRED;
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE ExecuteSearch(LPWSTR pszFilter, LPWSTR* rgpszAttributes, DWORD cAttributes,
                                          PADS_SEARCH_HANDLE phSearch) override {
    if (phSearch == nullptr || (rgpszAttributes == nullptr && cAttributes != 0 && cAttributes != DWORD(-1)))
      return E_POINTER;
    *phSearch = nullptr;
    std::string sFilter = pszFilter != nullptr && pszFilter[0] != 0 ? platform::ToUtf8(pszFilter) : "(objectClass=*)";
    std::vector<std::string> rgsAttributes;
    // (DWORD)-1: every attribute.
    if (cAttributes != DWORD(-1))
      for (DWORD i = 0; i < cAttributes; ++i) rgsAttributes.push_back(platform::ToUtf8(rgpszAttributes[i]));
    auto pSearch = std::make_unique<CSearch>(m_pSession->Connection(), m_sDn, m_nScope, sFilter,
                                             std::move(rgsAttributes), m_nPageSize);
    // The first page now, so that a refused filter or base fails here.
    int nCode = pSearch->m_pages.NextPage(&pSearch->m_pPage);
    m_pSession->NoteResult(nCode);
    if (nCode != LDAP_SUCCESS) return HresultFromLdap(m_pSession->Connection(), nCode);
    *phSearch = pSearch.get();
    m_searches.insert(pSearch.release());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE AbandonSearch(ADS_SEARCH_HANDLE hSearch) override {
    CSearch* pSearch = Find(hSearch);
    if (pSearch == nullptr) return E_INVALIDARG;
    pSearch->m_pEntry = nullptr;
    pSearch->m_pPage = nullptr;
    pSearch->m_fStarted = true;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetFirstRow(ADS_SEARCH_HANDLE hSearch) override {
    CSearch* pSearch = Find(hSearch);
    if (pSearch == nullptr) return E_INVALIDARG;
    // Rows of earlier pages are gone; the first row is the first one left.
    if (pSearch->m_fStarted) return pSearch->m_pEntry != nullptr ? S_OK : S_ADS_NOMORE_ROWS;
    return Advance(pSearch);
  }

  HRESULT STDMETHODCALLTYPE GetNextRow(ADS_SEARCH_HANDLE hSearch) override {
    CSearch* pSearch = Find(hSearch);
    if (pSearch == nullptr) return E_INVALIDARG;
    return Advance(pSearch);
  }

  HRESULT STDMETHODCALLTYPE GetPreviousRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextColumnName(ADS_SEARCH_HANDLE, LPWSTR*) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE GetColumn(ADS_SEARCH_HANDLE hSearch, LPWSTR pszName, PADS_SEARCH_COLUMN pColumn) override {
    if (pszName == nullptr || pColumn == nullptr) return E_POINTER;
    std::memset(pColumn, 0, sizeof(*pColumn));
    CSearch* pSearch = Find(hSearch);
    if (pSearch == nullptr) return E_INVALIDARG;
    if (pSearch->m_pEntry == nullptr) return E_ADS_COLUMN_NOT_SET;
    std::string sName = platform::ToUtf8(pszName);
    LDAP* pld = m_pSession->Connection();
    berval** rgpbv = ldap_get_values_len(pld, pSearch->m_pEntry, sName.c_str());
    if (rgpbv == nullptr || rgpbv[0] == nullptr) {
      ldap_value_free_len(rgpbv);
      return E_ADS_COLUMN_NOT_SET;
    }
    HRESULT hr = FillColumn(pszName, sName, rgpbv, pColumn);
    ldap_value_free_len(rgpbv);
    return hr;
  }

  HRESULT STDMETHODCALLTYPE FreeColumn(PADS_SEARCH_COLUMN pColumn) override {
    if (pColumn == nullptr) return E_POINTER;
    std::free(pColumn->hReserved);
    std::memset(pColumn, 0, sizeof(*pColumn));
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CloseSearchHandle(ADS_SEARCH_HANDLE hSearch) override {
    CSearch* pSearch = Find(hSearch);
    if (pSearch == nullptr) return E_INVALIDARG;
    m_searches.erase(pSearch);
    delete pSearch;
    return S_OK;
  }

 private:
  ~CDirectorySearch() {
    for (CSearch* pSearch : m_searches) delete pSearch;
    m_pSession->Release();
  }

  CSearch* Find(ADS_SEARCH_HANDLE h) {
    auto it = m_searches.find(static_cast<CSearch*>(h));
    return it == m_searches.end() ? nullptr : *it;
  }

  // The next row, reading the next page when this one is used up.
  HRESULT Advance(CSearch* pSearch) {
    LDAP* pld = m_pSession->Connection();
    if (!pSearch->m_fStarted) {
      pSearch->m_fStarted = true;
      pSearch->m_pEntry = pSearch->m_pPage != nullptr ? ldap_first_entry(pld, pSearch->m_pPage) : nullptr;
    } else if (pSearch->m_pEntry != nullptr) {
      pSearch->m_pEntry = ldap_next_entry(pld, pSearch->m_pEntry);
    } else {
      return S_ADS_NOMORE_ROWS;
    }
    while (pSearch->m_pEntry == nullptr && pSearch->m_pPage != nullptr && !pSearch->m_pages.Done()) {
      int nCode = pSearch->m_pages.NextPage(&pSearch->m_pPage);
      m_pSession->NoteResult(nCode);
      if (nCode != LDAP_SUCCESS) {
        pSearch->m_pPage = nullptr;
        return HresultFromLdap(pld, nCode);
      }
      pSearch->m_pEntry = pSearch->m_pPage != nullptr ? ldap_first_entry(pld, pSearch->m_pPage) : nullptr;
    }
    return pSearch->m_pEntry != nullptr ? S_OK : S_ADS_NOMORE_ROWS;
  }

  // One block holds the values, the name and the strings; hReserved points
  // at it for FreeColumn.
  static HRESULT FillColumn(LPWSTR pszName, const std::string& sName, berval** rgpbv, PADS_SEARCH_COLUMN pColumn) {
    ADSTYPE eType = IsBinaryAttribute(sName) ? ADSTYPE_OCTET_STRING
                    : IsIntegerAttribute(sName) ? ADSTYPE_INTEGER
                    : IsDnAttribute(sName) ? ADSTYPE_DN_STRING
                                           : ADSTYPE_CASE_IGNORE_STRING;
    size_t cValues = 0;
    std::vector<std::u16string> rgsText;
    size_t cbData = 0;
    for (; rgpbv[cValues] != nullptr; ++cValues) {
      if (eType == ADSTYPE_OCTET_STRING) {
        cbData += rgpbv[cValues]->bv_len;
      } else if (eType != ADSTYPE_INTEGER) {
        rgsText.push_back(platform::FromUtf8(std::string_view(rgpbv[cValues]->bv_val, rgpbv[cValues]->bv_len)));
        cbData += (rgsText.back().size() + 1) * sizeof(WCHAR);
      }
    }
    size_t cwName = 0;
    while (pszName[cwName] != 0) ++cwName;
    size_t cb = cValues * sizeof(ADSVALUE) + (cwName + 1) * sizeof(WCHAR) + cbData;
    auto* pbBlock = static_cast<BYTE*>(std::calloc(1, cb));
    if (pbBlock == nullptr) return E_OUTOFMEMORY;
    auto* rgValues = reinterpret_cast<ADSVALUE*>(pbBlock);
    BYTE* pb = pbBlock + cValues * sizeof(ADSVALUE);
    pColumn->pszAttrName = reinterpret_cast<LPWSTR>(pb);
    std::memcpy(pb, pszName, (cwName + 1) * sizeof(WCHAR));
    pb += (cwName + 1) * sizeof(WCHAR);
    for (size_t i = 0; i < cValues; ++i) {
      rgValues[i].dwType = eType;
      if (eType == ADSTYPE_INTEGER) {
        rgValues[i].Integer = static_cast<DWORD>(std::strtol(std::string(rgpbv[i]->bv_val, rgpbv[i]->bv_len).c_str(), nullptr, 10));
      } else if (eType == ADSTYPE_OCTET_STRING) {
        rgValues[i].OctetString.dwLength = static_cast<DWORD>(rgpbv[i]->bv_len);
        rgValues[i].OctetString.lpValue = pb;
        std::memcpy(pb, rgpbv[i]->bv_val, rgpbv[i]->bv_len);
        pb += rgpbv[i]->bv_len;
      } else {
        auto* pw = reinterpret_cast<LPWSTR>(pb);
        std::memcpy(pw, rgsText[i].c_str(), (rgsText[i].size() + 1) * sizeof(WCHAR));
        pb += (rgsText[i].size() + 1) * sizeof(WCHAR);
        rgValues[i].CaseIgnoreString = pw;
      }
    }
    pColumn->dwADsType = eType;
    pColumn->pADsValues = rgValues;
    pColumn->dwNumValues = static_cast<DWORD>(cValues);
    pColumn->hReserved = pbBlock;
    return S_OK;
  }

  std::atomic<ULONG> m_cRef{1};
  CDirectorySession* m_pSession;
  std::string m_sDn;
  int m_nScope = ADS_SCOPE_SUBTREE;
  int m_nPageSize = 0;
  std::set<CSearch*> m_searches;
};

}  // namespace

HRESULT CreateDirectorySearch(CDirectorySession* pSession, const std::string& sDn, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = static_cast<IDirectorySearch*>(new CDirectorySearch(pSession, sDn));
  return S_OK;
}

bool IsIntegerAttribute(const std::string& s) {
  static const char* const s_rgszIntegers[] = {"primaryGroupToken", "primaryGroupID", "groupType",
                                               "badPwdCount", "userAccountControl", "sAMAccountType",
                                               "logonCount"};
  for (const char* psz : s_rgszIntegers)
    if (strcasecmp(s.c_str(), psz) == 0) return true;
  return false;
}
