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

// The request value of the password modify operation (RFC 3062):
// SEQUENCE { [0] user, [1] old password, [2] new password }, encoded here
// rather than by ldap_passwd, whose intermediate BER buffers holding both
// passwords liblber frees without wiping them. Wiped when it goes.
class CPasswordModifyRequest {
 public:
  CPasswordModifyRequest(const std::string& sUser, const std::string& sOld, const std::string& sNew) {
    const size_t cbBody = Size(sUser) + Size(sOld) + Size(sNew);
    m_bytes.reserve(LengthSize(cbBody) + 1 + cbBody);  // exact: no reallocation leaves copies
    m_bytes.push_back('\x30');
    AppendLength(cbBody);
    Append('\x80', sUser);
    Append('\x81', sOld);
    Append('\x82', sNew);
  }
  ~CPasswordModifyRequest() { platform::WipeString(&m_bytes); }
  berval Value() { return {static_cast<ber_len_t>(m_bytes.size()), m_bytes.data()}; }

 private:
  // Bytes of a definite length: one for up to 127, else one more per byte.
  static size_t LengthSize(size_t cb) {
    if (cb <= 0x7F) return 1;
    size_t n = 1;
    for (; cb > 0; cb >>= 8) ++n;
    return n;
  }
  static size_t Size(const std::string& s) { return 1 + LengthSize(s.size()) + s.size(); }
  void AppendLength(size_t cb) {
    if (cb <= 0x7F) {
      m_bytes.push_back(static_cast<char>(cb));
      return;
    }
    const size_t cLength = LengthSize(cb) - 1;
    m_bytes.push_back(static_cast<char>(0x80 | cLength));
    for (size_t i = cLength; i-- > 0;) m_bytes.push_back(static_cast<char>((cb >> (8 * i)) & 0xFF));
  }
  void Append(char chTag, const std::string& s) {
    m_bytes.push_back(chTag);
    AppendLength(s.size());
    m_bytes.append(s);
  }
  std::string m_bytes;
};

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
    CPasswordModifyRequest request(sDn, sOld, sNew);
    berval bvRequest = request.Value();
    int nMessage = 0;
    nCode = ldap_extended_operation(pld, LDAP_EXOP_MODIFY_PASSWD, &bvRequest, rgpRequest, nullptr,
                                    &nMessage);
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
