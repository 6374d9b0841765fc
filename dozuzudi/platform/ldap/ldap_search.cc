#include "platform/ldap/ldap_search.h"

#include <cstdlib>
#include <cstring>

namespace platform {

CPagedSearch::CPagedSearch(LDAP* pld, std::string sBase, int nScope, std::string sFilter,
                           std::vector<std::string> rgsAttributes, int nPageSize)
    : m_pld(pld),
      m_sBase(std::move(sBase)),
      m_nScope(nScope),
      m_sFilter(std::move(sFilter)),
      m_rgsAttributes(std::move(rgsAttributes)),
      m_nPageSize(nPageSize) {}

CPagedSearch::~CPagedSearch() {
  if (m_pResult != nullptr) ldap_msgfree(m_pResult);
  if (m_pCookie != nullptr) ber_bvfree(m_pCookie);
}

int CPagedSearch::NextPage(LDAPMessage** ppResult) {
  *ppResult = nullptr;
  if (m_pResult != nullptr) {
    ldap_msgfree(m_pResult);
    m_pResult = nullptr;
  }
  if (m_fDone) return LDAP_SUCCESS;
  std::vector<char*> rgpszAttrs;
  for (std::string& s : m_rgsAttributes) rgpszAttrs.push_back(s.data());
  rgpszAttrs.push_back(nullptr);

  LDAPControl* pPageControl = nullptr;
  if (m_nPageSize > 0) {
    int nCode = ldap_create_page_control(m_pld, static_cast<ber_int_t>(m_nPageSize), m_pCookie, 0,
                                         &pPageControl);
    if (nCode != LDAP_SUCCESS) return nCode;
  }
  LDAPControl* rgpControls[] = {pPageControl, nullptr};
  int nCode = ldap_search_ext_s(m_pld, m_sBase.c_str(), m_nScope, m_sFilter.c_str(),
                                rgpszAttrs.data(), 0, pPageControl != nullptr ? rgpControls : nullptr,
                                nullptr, nullptr, 0, &m_pResult);
  if (pPageControl != nullptr) ldap_control_free(pPageControl);
  if (nCode != LDAP_SUCCESS) {
    m_fDone = true;
    return nCode;
  }
  // The cookie of the next page; an empty one ends the search.
  bool fMore = false;
  if (m_nPageSize > 0) {
    LDAPControl** rgpServerControls = nullptr;
    int nResult = LDAP_SUCCESS;
    if (ldap_parse_result(m_pld, m_pResult, &nResult, nullptr, nullptr, nullptr, &rgpServerControls, 0) ==
        LDAP_SUCCESS) {
      LDAPControl* pResponse = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, rgpServerControls, nullptr);
      ber_int_t nEstimate = 0;
      berval cookie{0, nullptr};
      if (pResponse != nullptr && ldap_parse_pageresponse_control(m_pld, pResponse, &nEstimate, &cookie) == LDAP_SUCCESS) {
        if (m_pCookie != nullptr) ber_bvfree(m_pCookie);
        m_pCookie = nullptr;
        if (cookie.bv_len > 0) {
          m_pCookie = ber_bvdup(&cookie);
          fMore = m_pCookie != nullptr;
        }
        ber_memfree(cookie.bv_val);
      }
      ldap_controls_free(rgpServerControls);
    }
  }
  m_fDone = !fMore;
  *ppResult = m_pResult;
  return LDAP_SUCCESS;
}

namespace {

// "member;range=1500-*" gives 1500 and true (the last range); "member"
// alone is the whole set.
bool ParseRange(const char* pszName, size_t cbBase, long* pnLow, long* pnHigh, bool* pfLast) {
  const char* pszOptions = pszName + cbBase;
  const char* pszRange = std::strstr(pszOptions, ";range=");
  if (pszRange == nullptr) return false;
  char* pszEnd = nullptr;
  *pnLow = std::strtol(pszRange + 7, &pszEnd, 10);
  if (pszEnd == nullptr || *pszEnd != '-') return false;
  *pfLast = pszEnd[1] == '*';
  *pnHigh = *pfLast ? -1 : std::strtol(pszEnd + 1, nullptr, 10);
  return true;
}

bool SameAttribute(const char* pszName, const std::string& sAttribute) {
  size_t cb = sAttribute.size();
  return strncasecmp(pszName, sAttribute.c_str(), cb) == 0 && (pszName[cb] == 0 || pszName[cb] == ';');
}

}  // namespace

std::string EscapeLdapFilterValue(const std::string& s) {
  static const char s_rgchHex[] = "0123456789abcdef";
  std::string sOut;
  for (unsigned char ch : s) {
    if (ch == '*' || ch == '(' || ch == ')' || ch == '\\' || ch == 0) {
      sOut += '\\';
      sOut += s_rgchHex[ch >> 4];
      sOut += s_rgchHex[ch & 15];
    } else {
      sOut += static_cast<char>(ch);
    }
  }
  return sOut;
}

int ReadAllValues(LDAP* pld, const std::string& sDn, const std::string& sAttribute,
                  std::vector<std::string>* prgsValues) {
  prgsValues->clear();
  std::string sRequested = sAttribute;
  for (;;) {
    char* rgpszAttrs[] = {sRequested.data(), nullptr};
    LDAPMessage* pRes = nullptr;
    int nCode = ldap_search_ext_s(pld, sDn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", rgpszAttrs, 0,
                                  nullptr, nullptr, nullptr, 0, &pRes);
    if (nCode != LDAP_SUCCESS) {
      if (pRes != nullptr) ldap_msgfree(pRes);
      return nCode;
    }
    LDAPMessage* pEntry = ldap_first_entry(pld, pRes);
    bool fRanged = false, fLast = true;
    long nHigh = -1;
    BerElement* pBer = nullptr;
    for (char* pszName = pEntry != nullptr ? ldap_first_attribute(pld, pEntry, &pBer) : nullptr;
         pszName != nullptr; pszName = ldap_next_attribute(pld, pEntry, pBer)) {
      if (SameAttribute(pszName, sAttribute)) {
        long nLow = 0;
        fRanged = ParseRange(pszName, sAttribute.size(), &nLow, &nHigh, &fLast);
        berval** rgpbv = ldap_get_values_len(pld, pEntry, pszName);
        for (int i = 0; rgpbv != nullptr && rgpbv[i] != nullptr; ++i)
          prgsValues->emplace_back(rgpbv[i]->bv_val, rgpbv[i]->bv_len);
        ldap_value_free_len(rgpbv);
      }
      ldap_memfree(pszName);
    }
    if (pBer != nullptr) ber_free(pBer, 0);
    ldap_msgfree(pRes);
    if (!fRanged || fLast || nHigh < 0) return LDAP_SUCCESS;
    sRequested = sAttribute + ";range=" + std::to_string(nHigh + 1) + "-*";
  }
}

}  // namespace platform
