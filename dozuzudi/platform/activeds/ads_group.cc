#include "platform/activeds/ads_group.h"

#include <memory>

#include "platform/activeds/ads_members.h"
#include "platform/activeds/ads_user.h"
#include "platform/ldap/ldap_search.h"

namespace {

// Holds the session for the member maker, whatever outlives what.
struct CSessionHold {
  explicit CSessionHold(CDirectorySession* pSession) : m_pSession(pSession) { m_pSession->AddRef(); }
  ~CSessionHold() { m_pSession->Release(); }
  CSessionHold(const CSessionHold&) = delete;
  CSessionHold& operator=(const CSessionHold&) = delete;
  CDirectorySession* m_pSession;
};

}  // namespace

IADs* MakeDirectoryObject(CDirectorySession* pSession, const std::string& sDn, const CEntryFacts& facts) {
  if (facts.HasClass("computer")) return new CAdsObject<IADs>(pSession, sDn, "computer", IID_IADs);
  if (facts.HasClass("user") || facts.HasClass("person") || facts.HasClass("inetOrgPerson") ||
      facts.HasClass("organizationalPerson"))
    return new CAdsUser(pSession, sDn);
  if (facts.HasClass("group") || facts.HasClass("groupOfNames") || facts.HasClass("groupOfUniqueNames"))
    return new CAdsGroup(pSession, sDn);
  return new CAdsObject<IADs>(pSession, sDn, facts.rgsClasses.empty() ? "" : facts.rgsClasses.back(), IID_IADs);
}

HRESULT STDMETHODCALLTYPE CAdsGroup::Members(IADsMembers** ppMembers) {
  if (ppMembers == nullptr) return E_POINTER;
  *ppMembers = nullptr;
  if (!m_fMembersRead) {
    int nCode = platform::ReadAllValues(m_pSession->Connection(), m_sDn, "member", &m_rgsMembers);
    m_pSession->NoteResult(nCode);
    if (nCode != LDAP_SUCCESS) return HresultFromLdap(m_pSession->Connection(), nCode);
    // One search for all members' facts; where memberOf is not kept it
    // finds nothing and each member is read when reached.
    if (!m_rgsMembers.empty()) m_pSession->PrefetchFacts("(memberOf=" + EscapeFilterValue(m_sDn) + ")");
    m_fMembersRead = true;
  }
  auto pHold = std::make_shared<CSessionHold>(m_pSession);
  auto pDns = std::make_shared<std::vector<std::string>>(m_rgsMembers);
  auto pMake = std::make_shared<MemberMaker>([pHold, pDns](size_t i) -> IADs* {
    CEntryFacts facts;
    if (FAILED(pHold->m_pSession->EntryFacts((*pDns)[i], &facts))) return nullptr;
    return MakeDirectoryObject(pHold->m_pSession, (*pDns)[i], facts);
  });
  return CreateMembers(pDns->size(), std::move(pMake), ppMembers);
}
