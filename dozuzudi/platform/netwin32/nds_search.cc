#include "platform/netwin32/nds_search.h"

#include <map>

#include "platform/netwin32/nds_context.h"
#include "platform/netwin32/nds_schema.h"

namespace netwin32 {
namespace {

constexpr ber_int_t kPageSize = 250;
constexpr size_t kMaxIterations = 16;

// The group membership attribute each tree's schema has, found once.
CRITICAL_SECTION s_csSchema;
std::map<std::string, std::string> s_groupMembership GUARDED_BY(s_csSchema);

std::vector<std::string> Values(berval** rgpValues) {
  std::vector<std::string> rgs;
  for (size_t i = 0; rgpValues != nullptr && rgpValues[i] != nullptr; ++i)
    rgs.emplace_back(rgpValues[i]->bv_val, rgpValues[i]->bv_len);
  return rgs;
}

int LdapScope(int nScope) {
  switch (nScope) {
    case DS_SEARCH_ENTRY: return LDAP_SCOPE_BASE;
    case DS_SEARCH_SUBORDINATES: return LDAP_SCOPE_ONELEVEL;
    case DS_SEARCH_SUBTREE: return LDAP_SCOPE_SUBTREE;
    default: return -1;
  }
}

}  // namespace

CSearchIteration::CSearchIteration(std::string sBaseDn, int nLdapScope, std::string sFilter,
                                   std::vector<CRequestedAttribute> rgAttributes, bool fValues,
                                   bool fAllAttrs, int32_t nLimit, CNamingRules naming,
                                   std::string sGroupMembershipAttribute)
    : m_sBaseDn(std::move(sBaseDn)),
      m_nLdapScope(nLdapScope),
      m_sFilter(std::move(sFilter)),
      m_rgAttributes(std::move(rgAttributes)),
      m_fValues(fValues),
      m_fAllAttrs(fAllAttrs),
      m_nLimit(nLimit),
      m_naming(std::move(naming)),
      m_sGroupMembershipAttribute(std::move(sGroupMembershipAttribute)) {}

CSearchIteration::~CSearchIteration() { ber_memfree(m_cookie.bv_val); }

void CSearchIteration::ConvertValues(const CRequestedAttribute& attribute, berval** rgpValues,
                                     CResultAttribute* pResult) const {
  pResult->sName = attribute.sNdsName;
  pResult->nSyntax = attribute.nSyntax;
  if (!m_fValues) return;
  for (std::string& sValue : Values(rgpValues)) {
    std::string sOut;
    if (attribute.nSyntax == SYN_DIST_NAME) {
      // A DN outside the tree has no NDS name.
      if (!DnToNdsName(sValue, m_naming, &sOut)) continue;
    } else if (attribute.nSyntax == SYN_CLASS_NAME) {
      sOut = NdsClassName(sValue);
      bool fSeen = false;
      for (const std::string& s : pResult->rgsValues) fSeen |= s == sOut;
      if (fSeen) continue;
    } else {
      sOut = std::move(sValue);
    }
    pResult->rgsValues.push_back(std::move(sOut));
  }
}

bool CSearchIteration::Convert(LDAP* pld, LDAPMessage* pEntry, CResultObject* pObject) const {
  char* pszDn = ldap_get_dn(pld, pEntry);
  bool fNamed = pszDn != nullptr && DnToNdsName(pszDn, m_naming, &pObject->sName);
  ldap_memfree(pszDn);
  if (!fNamed) return false;
  berval** rgpClasses = ldap_get_values_len(pld, pEntry, "objectClass");
  pObject->sBaseClass = BaseClassName(Values(rgpClasses));
  ldap_value_free_len(rgpClasses);
  if (m_fAllAttrs) {
    BerElement* pBer = nullptr;
    for (char* pszAttr = ldap_first_attribute(pld, pEntry, &pBer); pszAttr != nullptr;
         pszAttr = ldap_next_attribute(pld, pEntry, pBer)) {
      CRequestedAttribute attribute;
      attribute.sLdapName = pszAttr;
      if (NdsAttributeName(pszAttr, m_sGroupMembershipAttribute, &attribute.sNdsName, &attribute.nSyntax)) {
        berval** rgpValues = ldap_get_values_len(pld, pEntry, pszAttr);
        pObject->rgAttributes.emplace_back();
        ConvertValues(attribute, rgpValues, &pObject->rgAttributes.back());
        ldap_value_free_len(rgpValues);
      }
      ldap_memfree(pszAttr);
    }
    ber_free(pBer, 0);
    return true;
  }
  for (const CRequestedAttribute& attribute : m_rgAttributes) {
    berval** rgpValues = ldap_get_values_len(pld, pEntry, attribute.sLdapName.c_str());
    if (rgpValues == nullptr) continue;  // the object has no such attribute
    pObject->rgAttributes.emplace_back();
    ConvertValues(attribute, rgpValues, &pObject->rgAttributes.back());
    ldap_value_free_len(rgpValues);
  }
  return true;
}

int CSearchIteration::FetchPage(LDAP* pld, unsigned nTimeoutSeconds) {
  std::vector<const char*> rgpszAttrs;
  if (m_fAllAttrs) rgpszAttrs.push_back("*");
  for (const CRequestedAttribute& attribute : m_rgAttributes) rgpszAttrs.push_back(attribute.sLdapName.c_str());
  rgpszAttrs.push_back("objectClass");
  rgpszAttrs.push_back(nullptr);

  LDAPControl* pPage = nullptr;
  int nCode = ldap_create_page_control(pld, kPageSize, m_cookie.bv_len != 0 ? &m_cookie : nullptr, 0, &pPage);
  if (nCode != LDAP_SUCCESS) return nCode;
  LDAPControl* rgpControls[] = {pPage, nullptr};
  timeval tv = {static_cast<time_t>(nTimeoutSeconds), 0};
  int nMessage = 0;
  nCode = ldap_search_ext(pld, m_sBaseDn.c_str(), m_nLdapScope, m_sFilter.c_str(),
                          const_cast<char**>(rgpszAttrs.data()), 0, rgpControls, nullptr, &tv, 0, &nMessage);
  ldap_control_free(pPage);
  if (nCode != LDAP_SUCCESS) return nCode;
  LDAPMessage* pResult = nullptr;
  int nType = ldap_result(pld, nMessage, LDAP_MSG_ALL, &tv, &pResult);
  if (nType <= 0) {
    if (pResult != nullptr) ldap_msgfree(pResult);
    nCode = LDAP_TIMEOUT;
    if (nType < 0) ldap_get_option(pld, LDAP_OPT_RESULT_CODE, &nCode);
    return nCode == LDAP_SUCCESS ? LDAP_OTHER : nCode;
  }
  for (LDAPMessage* pEntry = ldap_first_entry(pld, pResult); pEntry != nullptr;
       pEntry = ldap_next_entry(pld, pEntry)) {
    CResultObject object;
    if (Convert(pld, pEntry, &object)) m_pending.push_back(std::move(object));
  }
  LDAPControl** rgpResponse = nullptr;
  int nResult = LDAP_SUCCESS;
  if (ldap_parse_result(pld, pResult, &nResult, nullptr, nullptr, nullptr, &rgpResponse, 1) != LDAP_SUCCESS)
    nResult = LDAP_DECODING_ERROR;
  // Without a cookie (or without paging at the server) this was the last page.
  LDAPControl* pResponse = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, rgpResponse, nullptr);
  berval cookie = {0, nullptr};
  ber_int_t nEstimate = 0;
  ber_memfree(m_cookie.bv_val);
  m_cookie = {0, nullptr};
  if (pResponse != nullptr && ldap_parse_pageresponse_control(pld, pResponse, &nEstimate, &cookie) == LDAP_SUCCESS)
    m_cookie = cookie;
  m_fLastPage = m_cookie.bv_len == 0;
  ldap_controls_free(rgpResponse);
  return nResult;
}

NWDSCCODE CSearchIteration::Fill(LDAP* pld, unsigned nTimeoutSeconds, NWDSBuf* pResult, bool* pfDone,
                                 int* pnLdap) {
  *pfDone = false;
  *pnLdap = LDAP_SUCCESS;
  while (true) {
    if ((m_nLimit > 0 && m_cHandedOut >= static_cast<uint32_t>(m_nLimit)) ||
        (m_pending.empty() && m_fStarted && m_fLastPage)) {
      *pfDone = true;
      return 0;
    }
    if (m_pending.empty()) {
      // A buffer with objects goes back now; the next call reads on.
      if (ResultObjectCount(*pResult) > 0) return 0;
      *pnLdap = FetchPage(pld, nTimeoutSeconds);
      m_fStarted = true;
      if (*pnLdap != LDAP_SUCCESS) return *pnLdap == LDAP_SIZELIMIT_EXCEEDED ? NDS_ERR_REMOTE_FAILURE
                                                                             : CodeFromLdap(*pnLdap);
      continue;
    }
    bool fAppended = false;
    NWDSCCODE nCode = AppendResultObject(pResult, m_pending.front(), &fAppended);
    if (nCode != 0 || !fAppended) return nCode;
    m_pending.pop_front();
    ++m_cHandedOut;
  }
}

NWDSCCODE CNdsContext::GroupMembershipAttribute(std::string* psName) {
  if (!m_tree.sGroupMembershipAttribute.empty()) {
    *psName = m_tree.sGroupMembershipAttribute;
    return 0;
  }
  std::string sKey = m_tree.sConnectionKey + '\n' + m_tree.naming.sRootDn;
  {
    CSectionLock lock(&s_csSchema);
    auto it = s_groupMembership.find(sKey);
    if (it != s_groupMembership.end()) {
      *psName = it->second;
      return 0;
    }
  }
  // The schema's attribute types, from the subschema entry the root DSE names.
  std::string sSubschema;
  bool fRead = false;
  bool fHasGroupMembership = false;
  for (int nStep = 0; nStep < 2; ++nStep) {
    const char* rgpszRoot[] = {"subschemaSubentry", nullptr};
    const char* rgpszSchema[] = {"attributeTypes", nullptr};
    LDAPMessage* pResult = nullptr;
    int nMessage = 0;
    int nCode = ldap_search_ext(m_pld, nStep == 0 ? "" : sSubschema.c_str(), LDAP_SCOPE_BASE,
                                nStep == 0 ? "(objectClass=*)" : "(objectClass=subschema)",
                                const_cast<char**>(nStep == 0 ? rgpszRoot : rgpszSchema), 0, nullptr, nullptr,
                                nullptr, 0, &nMessage);
    if (nCode == LDAP_SUCCESS) nCode = WaitResult(nMessage, &pResult);
    if (nCode != LDAP_SUCCESS) return CodeFromLdap(nCode);
    LDAPMessage* pEntry = ldap_first_entry(m_pld, pResult);
    berval** rgpValues =
        pEntry != nullptr ? ldap_get_values_len(m_pld, pEntry, nStep == 0 ? "subschemaSubentry" : "attributeTypes")
                          : nullptr;
    std::vector<std::string> rgs = Values(rgpValues);
    ldap_value_free_len(rgpValues);
    ldap_msgfree(pResult);
    if (nStep == 0) {
      if (rgs.empty()) break;
      sSubschema = rgs[0];
      continue;
    }
    fRead = true;
    for (std::string& s : rgs) {
      for (char& ch : s) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
      fHasGroupMembership |= s.find("'groupmembership'") != std::string::npos;
    }
  }
  *psName = fHasGroupMembership ? "groupMembership" : "memberOf";
  if (fRead) {
    CSectionLock lock(&s_csSchema);
    s_groupMembership[sKey] = *psName;
  }
  return 0;
}

NWDSCCODE CNdsContext::StartSearch(const CSearchRequest& request,
                                   std::unique_ptr<CSearchIteration>* ppIteration) {
  int nLdapScope = LdapScope(request.nScope);
  if (nLdapScope < 0) return NDS_ERR_INVALID_REQUEST;
  std::string sBaseDn;
  NWDSCCODE nCode = NameToDn(request.sBase, true, &sBaseDn);
  if (nCode != 0) return nCode;

  // "Group Membership" is looked up in the schema only when it is used.
  bool fGroupMembership = request.fAllAttrs;
  std::vector<CRequestedAttribute> rgAttributes;
  for (const std::string& sName : request.rgsAttrNames) {
    CNdsAttribute attribute;
    nCode = LookUpAttribute(sName, &attribute);
    if (nCode != 0) return nCode;
    fGroupMembership |= attribute.sLdapName.empty();
    rgAttributes.push_back({sName, attribute.sLdapName, attribute.nSyntax});
  }
  for (const CFilterToken& token : request.rgFilter) {
    CNdsAttribute attribute;
    fGroupMembership |= token.nToken == FTOK_ANAME && LookUpAttribute(token.sValue, &attribute) == 0 &&
                        attribute.sLdapName.empty();
  }
  CFilterMapping mapping;
  mapping.pNameContext = &m_nameContext;
  mapping.pNaming = &m_tree.naming;
  if (fGroupMembership && (nCode = GroupMembershipAttribute(&mapping.sGroupMembershipAttribute)) != 0)
    return nCode;
  for (CRequestedAttribute& attribute : rgAttributes)
    if (attribute.sLdapName.empty()) attribute.sLdapName = mapping.sGroupMembershipAttribute;
  std::string sFilter = "(objectClass=*)";
  if (request.fHasFilter && (nCode = TranslateFilter(request.rgFilter, &mapping, &sFilter)) != 0) return nCode;
  *ppIteration = std::make_unique<CSearchIteration>(sBaseDn, nLdapScope, sFilter, std::move(rgAttributes),
                                                     request.fValues, request.fAllAttrs, request.nLimit,
                                                     m_tree.naming, mapping.sGroupMembershipAttribute);
  return 0;
}

NWDSCCODE CNdsContext::Search(const CSearchRequest& request, int32_t* piIteration, NWDSBuf* pResult) {
  CSigpipeGuard sigpipe;
  CSectionLock lock(&m_cs);
  if (m_fClosed || !m_fHasTree) return NDS_ERR_BAD_CONTEXT;
  int32_t nHandle = *piIteration;
  CSearchIteration* pIteration = nullptr;
  if (nHandle == NO_MORE_ITERATIONS) {
    if (m_iterations.size() >= kMaxIterations) return NDS_ERR_INVALID_REQUEST;
    std::unique_ptr<CSearchIteration> pNew;
    NWDSCCODE nCode = EnsureSession();
    if (nCode == 0) nCode = StartSearch(request, &pNew);
    if (nCode != 0) return nCode;
    do {
      nHandle = m_nNextIteration;
      m_nNextIteration = m_nNextIteration == INT32_MAX ? 1 : m_nNextIteration + 1;
    } while (m_iterations.count(nHandle) != 0);
    pIteration = pNew.get();
    m_iterations.emplace(nHandle, std::move(pNew));
  } else {
    auto it = m_iterations.find(nHandle);
    if (it == m_iterations.end()) return NDS_ERR_INVALID_ITERATION;
    // A page cookie belongs to its connection.
    if (m_pld == nullptr || m_fBroken) {
      m_iterations.erase(it);
      return NDS_ERR_TRANSPORT_FAILURE;
    }
    pIteration = it->second.get();
  }
  bool fDone = false;
  int nLdap = LDAP_SUCCESS;
  NWDSCCODE nCode = pIteration->Fill(m_pld, m_tree.connection.nTimeoutSeconds, pResult, &fDone, &nLdap);
  NoteResult(nLdap);
  if (nCode != 0 || fDone) {
    m_iterations.erase(nHandle);
    nHandle = NO_MORE_ITERATIONS;
  }
  *piIteration = nHandle;
  return nCode;
}

}  // namespace netwin32

using namespace netwin32;

extern "C" NWDSCCODE NWDSSearch(NWDSContextHandle context, const char* pszBase, int nScope,
                                uint8_t, pBuf_T pFilter, uint32_t nInfoType, uint8_t fAllAttrs,
                                pBuf_T pAttrNames, int32_t* piIterationHandle,
                                int32_t nCountObjectsToSearch, int32_t* pnCountObjectsSearched,
                                pBuf_T pObjectInfo) {
  if (piIterationHandle == nullptr) return NDS_ERR_NULL_POINTER;
  int32_t nHandle = *piIterationHandle;
  // Whatever happens below, a failure ends the iteration, so that a caller
  // looping until NO_MORE_ITERATIONS always stops.
  *piIterationHandle = NO_MORE_ITERATIONS;
  NWDSCCODE nCode = CheckBuffer(pObjectInfo);
  if (nCode != 0) return nCode;
  std::shared_ptr<CNdsContext> pContext = FindContext(context);
  CSearchRequest request;
  if (!pContext) {
    nCode = NDS_ERR_BAD_CONTEXT;
  } else if (pszBase == nullptr) {
    nCode = NDS_ERR_NULL_POINTER;
  } else if (nInfoType != DS_ATTRIBUTE_NAMES && nInfoType != DS_ATTRIBUTE_VALUES) {
    nCode = NDS_ERR_INVALID_REQUEST;
  } else if (pFilter != nullptr && (nCode = CheckBuffer(pFilter)) == 0 &&
             pFilter->eKind != EBufferKind::kFilter) {
    nCode = NDS_ERR_BAD_VERB;
  } else if (nCode == 0 && !fAllAttrs && pAttrNames != nullptr && (nCode = CheckBuffer(pAttrNames)) == 0 &&
             pAttrNames->eKind != EBufferKind::kAttrNames) {
    nCode = NDS_ERR_BAD_VERB;
  }
  if (nCode == 0) {
    request.sBase = pszBase;
    request.nScope = nScope;
    request.fHasFilter = pFilter != nullptr;
    if (pFilter != nullptr) request.rgFilter = ReadFilterTokens(*pFilter);
    request.fValues = nInfoType == DS_ATTRIBUTE_VALUES;
    request.fAllAttrs = fAllAttrs != 0;
    if (!fAllAttrs && pAttrNames != nullptr) request.rgsAttrNames = ReadAttrNames(*pAttrNames);
    request.nLimit = nCountObjectsToSearch;
    StartResult(pObjectInfo);
    *piIterationHandle = nHandle;
    nCode = pContext->Search(request, piIterationHandle, pObjectInfo);
  }
  if (nCode != 0) {
    *piIterationHandle = NO_MORE_ITERATIONS;
    FailResult(pObjectInfo, nCode);
  }
  if (pnCountObjectsSearched != nullptr) *pnCountObjectsSearched = static_cast<int32_t>(ResultObjectCount(*pObjectInfo));
  return nCode;
}
