// The NDS attribute and class names the library knows, and their LDAP
// counterparts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/netwin32/netwin32.h"

namespace netwin32 {

// "Group Membership": the attribute that lists an object's groups, which
// each tree names for itself (groupMembership or memberOf).
inline constexpr std::string_view kGroupMembership = "Group Membership";

struct CNdsAttribute {
  std::string sLdapName;  // empty for "Group Membership" (the tree decides)
  uint32_t nSyntax = SYN_CI_STRING;
};

// The LDAP side of an NDS attribute name (known names ignore case; a plain
// LDAP attribute name stands for itself). NDS_ERR_NO_SUCH_ATTRIBUTE for
// other names and for password attributes, which are never read.
NWDSCCODE LookUpAttribute(std::string_view sNdsName, CNdsAttribute* pAttribute);
// The NDS name of an LDAP attribute for results read with "all
// attributes"; false for attributes never returned (passwords).
bool NdsAttributeName(std::string_view sLdapName, std::string_view sGroupMembershipAttribute,
                      std::string* psNdsName, uint32_t* pnSyntax);
// The NDS class of an LDAP object class ("inetOrgPerson" is "User").
std::string NdsClassName(std::string_view sLdapClass);
// The LDAP classes that an NDS class stands for (at least one).
std::vector<std::string> LdapClassNames(std::string_view sNdsClass);
// Of an entry's classes, the NDS class that names what it is ("User",
// "Group", ...): the first known one in the table's order; else "".
std::string BaseClassName(const std::vector<std::string>& rgsLdapClasses);

}  // namespace netwin32
