// Searches that return more than a server sends at once: the pages of the
// simple paged results control (RFC 2696), and the ranges of a
// many-valued attribute ("member;range=0-1499", Active Directory's way of
// handing out large groups).
//
// Thread rules: an object belongs to one thread; the connection is used by
// one thread at a time.
#pragma once

#include <ldap.h>

#include <string>
#include <vector>

#include "platform/base/api.h"

VLT_API_BEGIN
namespace platform {

class CPagedSearch {
 public:
  // nPageSize 0: one unpaged search.
  CPagedSearch(LDAP* pld, std::string sBase, int nScope, std::string sFilter,
               std::vector<std::string> rgsAttributes, int nPageSize);
  ~CPagedSearch();
  CPagedSearch(const CPagedSearch&) = delete;
  CPagedSearch& operator=(const CPagedSearch&) = delete;

  // The next page: LDAP_SUCCESS with its result message in *ppResult (owned
  // by this object until the next call), or the failure's code. After the
  // last page, LDAP_SUCCESS with a null *ppResult. Continuation references
  // are not chased.
  int NextPage(LDAPMessage** ppResult);
  bool Done() const { return m_fDone; }

 private:
  LDAP* m_pld;
  std::string m_sBase;
  int m_nScope;
  std::string m_sFilter;
  std::vector<std::string> m_rgsAttributes;
  int m_nPageSize;
  berval* m_pCookie = nullptr;
  LDAPMessage* m_pResult = nullptr;
  bool m_fDone = false;
};

// An LDAP filter value with "*", "(", ")", "\\" and NUL escaped (RFC 4515).
std::string EscapeLdapFilterValue(const std::string& s);

// Every value of one attribute of one entry, following ranged retrieval
// when the server hands the values out in ranges. An LDAP code;
// LDAP_SUCCESS with no values when the entry has none.
int ReadAllValues(LDAP* pld, const std::string& sDn, const std::string& sAttribute,
                  std::vector<std::string>* prgsValues);

}  // namespace platform
VLT_API_END
