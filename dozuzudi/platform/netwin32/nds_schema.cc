#include "platform/netwin32/nds_schema.h"

#include <strings.h>

#include <cstring>

#include "platform/netwin32/nds_context.h"

namespace netwin32 {
namespace {

struct CAttributeRow {
  const char* pszNds;
  const char* pszLdap;  // null: the tree's group membership attribute
  uint32_t nSyntax;
};

const CAttributeRow m_rgAttributes[] = {
    {"CN", "cn", SYN_CI_STRING},
    {"Surname", "sn", SYN_CI_STRING},
    {"Given Name", "givenName", SYN_CI_STRING},
    {"Full Name", "displayName", SYN_CI_STRING},
    {"Description", "description", SYN_CI_STRING},
    {"Title", "title", SYN_CI_STRING},
    {"Internet EMail Address", "mail", SYN_CI_STRING},
    {"Telephone Number", "telephoneNumber", SYN_TEL_NUMBER},
    {"L", "l", SYN_CI_STRING},
    {"OU", "ou", SYN_CI_STRING},
    {"O", "o", SYN_CI_STRING},
    {"uniqueID", "uid", SYN_CI_STRING},
    {"Object Class", "objectClass", SYN_CLASS_NAME},
    {"Member", "member", SYN_DIST_NAME},
    {"See Also", "seeAlso", SYN_DIST_NAME},
    {"Group Membership", nullptr, SYN_DIST_NAME},
    // LDAP names of DN attributes without an NDS name of their own.
    {"memberOf", "memberOf", SYN_DIST_NAME},
    {"groupMembership", "groupMembership", SYN_DIST_NAME},
    {"manager", "manager", SYN_DIST_NAME},
    {"owner", "owner", SYN_DIST_NAME},
};

struct CClassRow {
  const char* pszNds;
  const char* rgpszLdap[4];
};

// In the order in which a class names what an object is.
const CClassRow m_rgClasses[] = {
    {"User", {"inetOrgPerson", "person", "organizationalPerson", "user"}},
    {"Group", {"groupOfNames", "groupOfUniqueNames", "group", nullptr}},
    {"Organizational Unit", {"organizationalUnit", nullptr, nullptr, nullptr}},
    {"Organization", {"organization", nullptr, nullptr, nullptr}},
    {"Country", {"country", nullptr, nullptr, nullptr}},
    {"Locality", {"locality", nullptr, nullptr, nullptr}},
    {"Top", {"top", nullptr, nullptr, nullptr}},
};

bool Equal(std::string_view a, const char* psz) {
  return a.size() == strlen(psz) && strncasecmp(a.data(), psz, a.size()) == 0;
}

bool IsDescriptor(std::string_view s) {
  if (s.empty() || !((s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z'))) return false;
  for (char ch : s)
    if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-'))
      return false;
  return true;
}

// Attributes that hold secrets: never read, never searched.
bool IsSecret(std::string_view s) {
  std::string sLower;
  for (char ch : s) sLower += static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
  return sLower.find("password") != std::string::npos || sLower == "unicodepwd" ||
         sLower == "pwdhistory" || sLower == "userpkcs12" || sLower.rfind("krb", 0) == 0;
}

}  // namespace

NWDSCCODE LookUpAttribute(std::string_view sNdsName, CNdsAttribute* pAttribute) {
  if (IsSecret(sNdsName)) return NDS_ERR_NO_SUCH_ATTRIBUTE;
  for (const CAttributeRow& row : m_rgAttributes) {
    if (Equal(sNdsName, row.pszNds)) {
      pAttribute->sLdapName = row.pszLdap != nullptr ? row.pszLdap : "";
      pAttribute->nSyntax = row.nSyntax;
      return 0;
    }
  }
  if (!IsDescriptor(sNdsName)) return NDS_ERR_NO_SUCH_ATTRIBUTE;
  for (const CAttributeRow& row : m_rgAttributes) {
    if (row.pszLdap != nullptr && Equal(sNdsName, row.pszLdap)) {
      pAttribute->sLdapName = row.pszLdap;
      pAttribute->nSyntax = row.nSyntax;
      return 0;
    }
  }
  pAttribute->sLdapName = sNdsName;
  pAttribute->nSyntax = SYN_CI_STRING;
  return 0;
}

bool NdsAttributeName(std::string_view sLdapName, std::string_view sGroupMembershipAttribute,
                      std::string* psNdsName, uint32_t* pnSyntax) {
  if (IsSecret(sLdapName)) return false;
  if (sLdapName.size() == sGroupMembershipAttribute.size() &&
      strncasecmp(sLdapName.data(), sGroupMembershipAttribute.data(), sLdapName.size()) == 0) {
    *psNdsName = kGroupMembership;
    *pnSyntax = SYN_DIST_NAME;
    return true;
  }
  for (const CAttributeRow& row : m_rgAttributes) {
    if (row.pszLdap != nullptr && Equal(sLdapName, row.pszLdap)) {
      *psNdsName = row.pszNds;
      *pnSyntax = row.nSyntax;
      return true;
    }
  }
  *psNdsName = sLdapName;
  *pnSyntax = SYN_CI_STRING;
  return true;
}

std::string NdsClassName(std::string_view sLdapClass) {
  for (const CClassRow& row : m_rgClasses)
    for (const char* psz : row.rgpszLdap)
      if (psz != nullptr && Equal(sLdapClass, psz)) return row.pszNds;
  return std::string(sLdapClass);
}

std::vector<std::string> LdapClassNames(std::string_view sNdsClass) {
  for (const CClassRow& row : m_rgClasses) {
    if (!Equal(sNdsClass, row.pszNds)) continue;
    std::vector<std::string> rgs;
    for (const char* psz : row.rgpszLdap)
      if (psz != nullptr) rgs.emplace_back(psz);
    return rgs;
  }
  return {std::string(sNdsClass)};
}

std::string BaseClassName(const std::vector<std::string>& rgsLdapClasses) {
  for (const CClassRow& row : m_rgClasses) {
    if (Equal("top", row.rgpszLdap[0])) break;
    for (const std::string& sClass : rgsLdapClasses)
      for (const char* psz : row.rgpszLdap)
        if (psz != nullptr && Equal(sClass, psz)) return row.pszNds;
  }
  return "";
}

}  // namespace netwin32

extern "C" NWDSCCODE NWDSGetSyntaxID(NWDSContextHandle context, const char* pszAttrName,
                                     uint32_t* pnSyntax) {
  std::shared_ptr<netwin32::CNdsContext> pContext = netwin32::FindContext(context);
  if (!pContext || pContext->Check() != 0) return NDS_ERR_BAD_CONTEXT;
  if (pszAttrName == nullptr || pnSyntax == nullptr) return NDS_ERR_NULL_POINTER;
  netwin32::CNdsAttribute attribute;
  NWDSCCODE nCode = netwin32::LookUpAttribute(pszAttrName, &attribute);
  if (nCode == 0) *pnSyntax = attribute.nSyntax;
  return nCode;
}
