// Searches: what was asked, and an iteration that hands the directory's
// answer out buffer by buffer. The directory is read a page at a time
// (the simple paged results control), so a large group never sits whole in
// memory.
#pragma once

#include <ldap.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/netwin32/nds_buffer.h"
#include "platform/netwin32/nds_filter.h"
#include "platform/netwin32/nds_name.h"

namespace netwin32 {

struct CSearchRequest {
  std::string sBase;
  int nScope = DS_SEARCH_SUBTREE;
  bool fHasFilter = false;
  std::vector<CFilterToken> rgFilter;
  bool fValues = true;  // DS_ATTRIBUTE_VALUES
  bool fAllAttrs = false;
  std::vector<std::string> rgsAttrNames;
  int32_t nLimit = 0;  // > 0: at most this many objects in all
};

// One requested attribute: its NDS name and what it reads in the directory.
struct CRequestedAttribute {
  std::string sNdsName;
  std::string sLdapName;
  uint32_t nSyntax = SYN_CI_STRING;
};

class CSearchIteration {
 public:
  // What the conversion of entries needs, fixed when the search starts.
  CSearchIteration(std::string sBaseDn, int nLdapScope, std::string sFilter,
                   std::vector<CRequestedAttribute> rgAttributes, bool fValues, bool fAllAttrs,
                   int32_t nLimit, CNamingRules naming, std::string sGroupMembershipAttribute);
  ~CSearchIteration();
  CSearchIteration(const CSearchIteration&) = delete;
  CSearchIteration& operator=(const CSearchIteration&) = delete;

  // Adds the next objects to the (started) result buffer, reading the next
  // page from the connection when none is waiting and the buffer is still
  // empty. *pfDone once every object was handed out; *pnLdap gets the
  // result code of the directory's last answer. nTimeoutSeconds bounds each
  // page.
  NWDSCCODE Fill(LDAP* pld, unsigned nTimeoutSeconds, NWDSBuf* pResult, bool* pfDone, int* pnLdap);

 private:
  int FetchPage(LDAP* pld, unsigned nTimeoutSeconds);
  bool Convert(LDAP* pld, LDAPMessage* pEntry, CResultObject* pObject) const;
  void ConvertValues(const CRequestedAttribute& attribute, berval** rgpValues,
                     CResultAttribute* pResult) const;

  std::string m_sBaseDn;
  int m_nLdapScope;
  std::string m_sFilter;
  std::vector<CRequestedAttribute> m_rgAttributes;
  bool m_fValues;
  bool m_fAllAttrs;
  int32_t m_nLimit;
  CNamingRules m_naming;
  std::string m_sGroupMembershipAttribute;
  berval m_cookie = {0, nullptr};
  bool m_fLastPage = false;
  bool m_fStarted = false;
  uint32_t m_cHandedOut = 0;
  std::deque<CResultObject> m_pending;
};

}  // namespace netwin32
