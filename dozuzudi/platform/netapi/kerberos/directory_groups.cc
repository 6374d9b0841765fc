// The "kerberos" provider's groups: a Kerberos domain keeps its accounts
// in its directory, so its groups are read there, when the configured
// directory (directory_settings.h) is that domain.
#include <cstdlib>
#include <map>

#include "platform/ldap/directory_connection.h"
#include "platform/ldap/ldap_search.h"
#include "platform/netapi/domain_provider.h"

namespace platform {
namespace {

std::string Lower(std::string s) {
  for (char& ch : s)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return s;
}

std::string NetbiosName(const std::string& sDnsDomain) {
  std::string s = sDnsDomain.substr(0, sDnsDomain.find('.'));
  for (char& ch : s)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  return s;
}

NET_API_STATUS StatusFromLdap(int nCode) {
  switch (nCode) {
    case LDAP_SUCCESS: return NERR_Success;
    case LDAP_INSUFFICIENT_ACCESS: return ERROR_ACCESS_DENIED;
    case LDAP_INVALID_CREDENTIALS:
    case LDAP_INAPPROPRIATE_AUTH:
    case LDAP_STRONG_AUTH_REQUIRED: return ERROR_LOGON_FAILURE;
    case LDAP_NO_SUCH_OBJECT: return NERR_GroupNotFound;
    default: return IsConnectionFailure(nCode) ? RPC_S_SERVER_UNAVAILABLE : ERROR_INTERNAL_ERROR;
  }
}

struct CFacts {
  bool fUser = false, fGroup = false, fComputer = false;
  std::string sAccount;
};

CFacts FactsOf(LDAP* pld, LDAPMessage* pEntry) {
  CFacts facts;
  berval** rgpbv = ldap_get_values_len(pld, pEntry, "objectClass");
  for (int i = 0; rgpbv != nullptr && rgpbv[i] != nullptr; ++i) {
    std::string s = Lower(std::string(rgpbv[i]->bv_val, rgpbv[i]->bv_len));
    facts.fUser |= s == "user";
    facts.fGroup |= s == "group";
    facts.fComputer |= s == "computer";
  }
  ldap_value_free_len(rgpbv);
  rgpbv = ldap_get_values_len(pld, pEntry, "sAMAccountName");
  if (rgpbv != nullptr && rgpbv[0] != nullptr) facts.sAccount.assign(rgpbv[0]->bv_val, rgpbv[0]->bv_len);
  ldap_value_free_len(rgpbv);
  return facts;
}

// Runs a paged search and hands each entry to onEntry; an LDAP code.
template <typename F>
int SearchAll(LDAP* pld, const std::string& sBase, int nScope, const std::string& sFilter,
              std::vector<std::string> rgsAttributes, F onEntry) {
  CPagedSearch search(pld, sBase, nScope, sFilter, std::move(rgsAttributes), nScope == LDAP_SCOPE_BASE ? 0 : 1000);
  for (;;) {
    LDAPMessage* pRes = nullptr;
    int nCode = search.NextPage(&pRes);
    if (nCode != LDAP_SUCCESS || pRes == nullptr) return nCode;
    for (LDAPMessage* pEntry = ldap_first_entry(pld, pRes); pEntry != nullptr; pEntry = ldap_next_entry(pld, pEntry))
      onEntry(pEntry);
  }
}

// The group's members, with the connection bound as the service.
NET_API_STATUS ReadMembers(LDAP* pld, const CDirectorySettings& settings, const std::string& sGroup, bool fLocal,
                           std::vector<CNetMember>* prgMembers) {
  std::string sDn;
  long nGroupType = 0;
  int nCode = SearchAll(pld, settings.sSearchBase, LDAP_SCOPE_SUBTREE,
                        "(&(objectClass=group)(sAMAccountName=" + EscapeLdapFilterValue(sGroup) + "))",
                        {"groupType"}, [&](LDAPMessage* pEntry) {
                          char* pszDn = ldap_get_dn(pld, pEntry);
                          if (pszDn != nullptr && sDn.empty()) sDn = pszDn;
                          ldap_memfree(pszDn);
                          berval** rgpbv = ldap_get_values_len(pld, pEntry, "groupType");
                          if (rgpbv != nullptr && rgpbv[0] != nullptr)
                            nGroupType = std::strtol(std::string(rgpbv[0]->bv_val, rgpbv[0]->bv_len).c_str(), nullptr, 10);
                          ldap_value_free_len(rgpbv);
                        });
  if (nCode != LDAP_SUCCESS) return StatusFromLdap(nCode);
  // Domain-local and built-in groups are the domain's local groups.
  if (sDn.empty() || ((nGroupType & 4) != 0) != fLocal) return NERR_GroupNotFound;

  std::vector<std::string> rgsMemberDns;
  nCode = ReadAllValues(pld, sDn, "member", &rgsMemberDns);
  if (nCode != LDAP_SUCCESS) return StatusFromLdap(nCode);
  // The members' classes and names: one search where memberOf is kept, a
  // read of each member it missed.
  std::map<std::string, CFacts> facts;
  std::vector<std::string> rgsFactAttributes = {"objectClass", "sAMAccountName"};
  auto remember = [&](LDAPMessage* pEntry) {
    char* pszDn = ldap_get_dn(pld, pEntry);
    if (pszDn != nullptr) facts[Lower(pszDn)] = FactsOf(pld, pEntry);
    ldap_memfree(pszDn);
  };
  if (!rgsMemberDns.empty()) {
    nCode = SearchAll(pld, settings.sSearchBase, LDAP_SCOPE_SUBTREE, "(memberOf=" + EscapeLdapFilterValue(sDn) + ")",
                      rgsFactAttributes, remember);
    if (nCode != LDAP_SUCCESS) return StatusFromLdap(nCode);
  }
  std::string sDomain = NetbiosName(settings.sDomain);
  for (const std::string& sMember : rgsMemberDns) {
    auto it = facts.find(Lower(sMember));
    if (it == facts.end()) {
      CFacts one;
      nCode = SearchAll(pld, sMember, LDAP_SCOPE_BASE, "(objectClass=*)", rgsFactAttributes,
                        [&](LDAPMessage* pEntry) { one = FactsOf(pld, pEntry); });
      // A member that cannot be read is passed over.
      if (nCode != LDAP_SUCCESS) continue;
      it = facts.emplace(Lower(sMember), one).first;
    }
    const CFacts& member = it->second;
    if (member.sAccount.empty() || member.fComputer) continue;
    if (fLocal && (member.fUser || member.fGroup))
      prgMembers->push_back({sDomain + "\\" + member.sAccount, member.fGroup ? SidTypeGroup : SidTypeUser});
    else if (!fLocal && member.fUser)
      prgMembers->push_back({member.sAccount, SidTypeUser});
  }
  if (fLocal) return NERR_Success;

  // The users whose primary group this is are its members too.
  std::string sToken;
  nCode = SearchAll(pld, sDn, LDAP_SCOPE_BASE, "(objectClass=*)", {"primaryGroupToken"}, [&](LDAPMessage* pEntry) {
    berval** rgpbv = ldap_get_values_len(pld, pEntry, "primaryGroupToken");
    if (rgpbv != nullptr && rgpbv[0] != nullptr) sToken.assign(rgpbv[0]->bv_val, rgpbv[0]->bv_len);
    ldap_value_free_len(rgpbv);
  });
  if (nCode != LDAP_SUCCESS || sToken.empty()) return StatusFromLdap(nCode);
  nCode = SearchAll(pld, settings.sSearchBase, LDAP_SCOPE_SUBTREE,
                    "(&(objectCategory=person)(primaryGroupID=" + EscapeLdapFilterValue(sToken) + "))",
                    rgsFactAttributes, [&](LDAPMessage* pEntry) {
                      CFacts member = FactsOf(pld, pEntry);
                      if (member.fUser && !member.fComputer && !member.sAccount.empty())
                        prgMembers->push_back({member.sAccount, SidTypeUser});
                    });
  return StatusFromLdap(nCode);
}

}  // namespace

NET_API_STATUS GetDirectoryGroupMembers(const CDomainProvider& provider, const std::string& sDomain,
                                        const std::string& sGroup, bool fLocal, std::vector<CNetMember>* prgMembers) {
  prgMembers->clear();
  CDirectorySettings settings;
  if (!ReadDirectorySettings(&settings)) return NERR_GroupNotFound;
  std::string sRealm = Lower(provider.realm.empty() ? sDomain : provider.realm);
  bool fThisDomain = sRealm == Lower(settings.sDomain) || Lower(sDomain) == Lower(NetbiosName(settings.sDomain)) ||
                     Lower(sDomain) == Lower(settings.sDomain);
  if (!fThisDomain) return NERR_GroupNotFound;
  LDAP* pld = nullptr;
  int nCode = AcquireServiceConnection(settings, &pld);
  if (nCode != LDAP_SUCCESS) return StatusFromLdap(nCode);
  NET_API_STATUS status = ReadMembers(pld, settings, sGroup, fLocal, prgMembers);
  ReturnServiceConnection(settings, pld, status != RPC_S_SERVER_UNAVAILABLE);
  if (status != NERR_Success) prgMembers->clear();
  return status;
}

}  // namespace platform
