// Reading the user's bad-password count over LDAP.
#include "admin/password/ads/ads_steps.h"
#include "platform/ldap/winldap.h"
#include "platform/text/wstr.h"

LONG getBadPwdCount(LPCWSTR pwszDn) {
  AdsTrace(QTR_ENTRY, kAdsTraceBadPwdCount);
  LONG nCount = -1;
  LDAP* pld = ldap_initW(nullptr, LDAP_PORT);
  if (pld == nullptr) {
    AdsTrace(QTR_ERROR, kAdsTraceLdapBindFailed);
    return nCount;
  }
  LDAPMessage* pResult = nullptr;
  if (ldap_bind_sW(pld, nullptr, nullptr, LDAP_AUTH_NEGOTIATE) != LDAP_SUCCESS) {
    AdsTrace(QTR_ERROR, kAdsTraceLdapBindFailed);
  } else {
    WCHAR wszAttribute[] = u"badPwdCount";
    WCHAR* rgpwszAttributes[] = {wszAttribute, nullptr};
    ULONG nCode = ldap_search_sW(pld, pwszDn, LDAP_SCOPE_BASE, nullptr, rgpwszAttributes, 0,
                                 &pResult);
    if (nCode != LDAP_SUCCESS) {
      AdsTrace(QTR_ERROR, kAdsTraceLdapSearchFailed, QtrString(pwszDn), QtrInt(nCode),
               QtrString(ldap_err2stringW(nCode)));
    } else if (LDAPMessage* pEntry = ldap_first_entry(pld, pResult); pEntry != nullptr) {
      WCHAR** rgpwszValues = ldap_get_valuesW(pld, pEntry, wszAttribute);
      if (rgpwszValues != nullptr) {
        nCount = rgpwszValues[0] != nullptr ? _wtol(rgpwszValues[0]) : 0;
        ldap_value_freeW(rgpwszValues);
      } else {
        AdsTrace(QTR_ERROR, kAdsTraceNoAttribute, QtrString(pwszDn));
        ULONG nLast = LdapGetLastError();
        AdsTrace(QTR_ERROR, kAdsTraceLastLdapError, QtrString(pwszDn),
                 QtrString(ldap_err2stringW(nLast)));
        // No value and no error: the attribute is simply not set.
        nCount = nLast == 0 ? 0 : -1;
      }
    }
  }
  if (pResult != nullptr) ldap_msgfree(pResult);
  ldap_unbind(pld);
  return nCount;
}
