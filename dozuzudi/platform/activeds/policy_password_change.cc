// Password change on other LDAP directories (OpenLDAP with the password
// policy overlay): a bind as the user with the old password proves it, then
// the password modify operation (RFC 3062) with old and new value, carrying
// the password-policy request control so that refusals name their cause.
#include "platform/activeds/ads_last_error.h"
#include "platform/activeds/ads_user.h"

namespace {

// NERR codes of the refusals the password policy names.
HRESULT HresultFromPolicy(LDAPPasswordPolicyError ePolicy) {
  switch (ePolicy) {
    case PP_passwordTooShort:
    case PP_insufficientPasswordQuality:
      return HRESULT_FROM_WIN32(2245);  // NERR_PasswordTooShort
    case PP_passwordInHistory:
      return HRESULT_FROM_WIN32(2244);  // NERR_PasswordHistConflict
    case PP_passwordTooYoung:
      return HRESULT_FROM_WIN32(2246);  // NERR_PasswordTooRecent
    default:
      return HRESULT_FROM_WIN32(8245);  // ERROR_DS_UNWILLING_TO_PERFORM
  }
}

// The policy error that the response's controls carry, PP_noError without.
LDAPPasswordPolicyError PolicyError(LDAP* pld, LDAPControl** rgpControls) {
  LDAPControl* pControl =
      ldap_control_find(LDAP_CONTROL_PASSWORDPOLICYRESPONSE, rgpControls, nullptr);
  LDAPPasswordPolicyError ePolicy = PP_noError;
  if (pControl != nullptr) {
    ber_int_t nExpire = 0;
    ber_int_t nGrace = 0;
    ldap_parse_passwordpolicy_control(pld, pControl, &nExpire, &nGrace, &ePolicy);
  }
  return ePolicy;
}

}  // namespace

HRESULT ChangePolicyPassword(CDirectorySession* pSession, const std::string& sDn,
                             const std::string& sOld, const std::string& sNew) {
  LDAP* pld = nullptr;
  int nCode = platform::OpenDirectoryConnection(pSession->Settings(), &pld);
  if (nCode != LDAP_SUCCESS) return HresultFromLdap(pld, nCode);

  LDAPControl* pRequest = nullptr;
  ldap_create_passwordpolicy_control(pld, &pRequest);
  LDAPControl* rgpRequest[] = {pRequest, nullptr};
  HRESULT hr = S_OK;
  berval bvOld = {static_cast<ber_len_t>(sOld.size()), const_cast<char*>(sOld.data())};
  nCode = ldap_sasl_bind_s(pld, sDn.c_str(), LDAP_SASL_SIMPLE, &bvOld, rgpRequest, nullptr, nullptr);
  if (nCode == LDAP_INVALID_CREDENTIALS) {
    HresultFromLdap(pld, nCode);
    hr = HRESULT_FROM_WIN32(2203);  // NERR_BadPassword
  } else if (nCode != LDAP_SUCCESS) {
    hr = HresultFromLdap(pld, nCode);
  } else {
    berval bvUser = {static_cast<ber_len_t>(sDn.size()), const_cast<char*>(sDn.data())};
    berval bvNew = {static_cast<ber_len_t>(sNew.size()), const_cast<char*>(sNew.data())};
    int nMessage = 0;
    nCode = ldap_passwd(pld, &bvUser, &bvOld, &bvNew, rgpRequest, nullptr, &nMessage);
    LDAPMessage* pRes = nullptr;
    if (nCode == LDAP_SUCCESS) {
      timeval tv = {static_cast<time_t>(pSession->Settings().nTimeoutSeconds) * 3, 0};
      if (ldap_result(pld, nMessage, LDAP_MSG_ALL, &tv, &pRes) <= 0) nCode = LDAP_TIMEOUT;
    }
    LDAPControl** rgpResponse = nullptr;
    int nResult = nCode;
    if (nCode == LDAP_SUCCESS &&
        ldap_parse_result(pld, pRes, &nResult, nullptr, nullptr, nullptr, &rgpResponse, 0) !=
            LDAP_SUCCESS)
      nResult = LDAP_DECODING_ERROR;
    if (nResult == LDAP_SUCCESS) {
      ClearAdsLastError();
    } else {
      hr = HresultFromLdap(pld, nResult);
      LDAPPasswordPolicyError ePolicy = PolicyError(pld, rgpResponse);
      if (ePolicy != PP_noError) hr = HresultFromPolicy(ePolicy);
    }
    ldap_controls_free(rgpResponse);
    if (pRes != nullptr) ldap_msgfree(pRes);
  }
  ldap_control_free(pRequest);
  ldap_unbind_ext_s(pld, nullptr, nullptr);
  return hr;
}
