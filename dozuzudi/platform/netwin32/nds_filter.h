// Search filters: the token lists callers build, their check, their place
// in a DSV_SEARCH_FILTER buffer, and the LDAP filter they become.
#pragma once

#include <string>
#include <vector>

#include "platform/netwin32/nds_buffer.h"
#include "platform/netwin32/nds_name.h"

namespace netwin32 {

struct CFilterToken {
  uint16_t nToken = FTOK_END;
  uint32_t nSyntax = 0;
  std::string sValue;  // ISO-8859-1, as the caller gave it
};

// What turns a filter's names into LDAP terms, for a context's tree: the
// attribute that "Group Membership" reads, and how NDS names become DNs.
struct CFilterMapping {
  std::string sGroupMembershipAttribute;
  const CNdsName* pNameContext = nullptr;
  const CNamingRules* pNaming = nullptr;
};

// The LDAP filter of a token list, or, with no mapping, only its check
// (token order, known attribute names): 0, NDS_ERR_INVALID_FILTER_SYNTAX,
// NDS_ERR_NO_SUCH_ATTRIBUTE, or the fault of a name value.
NWDSCCODE TranslateFilter(const std::vector<CFilterToken>& rgTokens, const CFilterMapping* pMapping,
                          std::string* psFilter);

// The tokens of a filter buffer filled by NWDSPutFilter.
std::vector<CFilterToken> ReadFilterTokens(const NWDSBuf& buf);

}  // namespace netwin32
