// NDS names and the DNs they stand for. Pure text work, without the
// directory: names come in as ISO-8859-1, DNs and stored names are UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/netwin32/netwin32.h"

namespace netwin32 {

// One attribute value of a component: sType is an LDAP attribute type in
// lower case, or empty for a typeless component; sValue is UTF-8.
struct CNdsAva {
  std::string sType;
  std::string sValue;
  bool operator==(const CNdsAva&) const = default;
};
using CNdsRdn = std::vector<CNdsAva>;
// Components leaf first; no component at all is [Root].
using CNdsName = std::vector<CNdsRdn>;

// How a tree's names map to DNs.
struct CNamingRules {
  std::string sRootDn;                         // what [Root] stands for
  std::string sLeafType = "cn";                // a typeless leaf's attribute
  std::vector<std::string> rgsContainerTypes{"o", "ou"};  // from the top down; the last repeats
};

// Parses a full, relative or typeful name, or "[Root]"; a relative name is
// completed with the context. 0, NDS_ERR_INVALID_DS_NAME or
// NDS_ERR_DN_TOO_LONG.
NWDSCCODE ParseNdsName(std::string_view sName, const CNdsName& context, CNdsName* pName);
// The DN of a name under the rules' root. Typeless components are typed by
// position: the leftmost with the leaf type unless fContainer, the others
// with the container types counted from the top.
std::string NdsNameToDn(const CNdsName& name, const CNamingRules& rules, bool fContainer);
// The full NDS name (UTF-8) of a DN under the root: typeless when the
// typeless rules give back the same DN, else typeful. False when the DN does
// not parse, is not under the root, or holds a value in BER form.
bool DnToNdsName(std::string_view sDn, const CNamingRules& rules, std::string* psName);

// A value escaped for a DN (RFC 4514) and for a filter (RFC 4515).
std::string EscapeDnValue(std::string_view s);
std::string EscapeFilterValue(std::string_view s);

// ISO-8859-1 to UTF-8, and back: false when a character is above U+00FF or
// the UTF-8 is malformed.
std::string Latin1ToUtf8(std::string_view s);
bool Utf8ToLatin1(std::string_view s, std::string* psOut);

}  // namespace netwin32
