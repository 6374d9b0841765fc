// Login and password change, each with the password-policy request
// control so that the directory names the cause of a refusal.
#include <cstring>

#include "platform/netwin32/nds_context.h"

namespace netwin32 {
namespace {

// The password-policy response among the controls: its error (PP_noError
// without one) and the grace logins left (-1 when none was used).
LDAPPasswordPolicyError PolicyError(LDAP* pld, LDAPControl** rgpControls, int* pnGrace) {
  *pnGrace = -1;
  LDAPControl* pControl = ldap_control_find(LDAP_CONTROL_PASSWORDPOLICYRESPONSE, rgpControls, nullptr);
  LDAPPasswordPolicyError ePolicy = PP_noError;
  if (pControl != nullptr) {
    ber_int_t nExpire = -1;
    ber_int_t nGrace = -1;
    if (ldap_parse_passwordpolicy_control(pld, pControl, &nExpire, &nGrace, &ePolicy) != LDAP_SUCCESS)
      ePolicy = PP_noError;
    *pnGrace = nGrace;
  }
  return ePolicy;
}

NWDSCCODE CodeFromPolicy(LDAPPasswordPolicyError ePolicy) {
  switch (ePolicy) {
    case PP_passwordExpired: return NDS_ERR_PASSWORD_EXPIRED_NO_GRACE;
    case PP_accountLocked: return NDS_ERR_ACCOUNT_LOCKED;
    case PP_changeAfterReset: return NDS_ERR_PASSWORD_EXPIRED;
    case PP_passwordModNotAllowed: return NDS_ERR_NO_ACCESS;
    case PP_mustSupplyOldPassword: return NDS_ERR_FAILED_AUTHENTICATION;
    case PP_insufficientPasswordQuality:
    case PP_passwordTooShort: return NDS_ERR_PASSWORD_TOO_SHORT;
    case PP_passwordTooYoung: return NDS_ERR_PASSWORD_TOO_YOUNG;
    case PP_passwordInHistory: return NDS_ERR_DUPLICATE_PASSWORD;
    default: return NDS_ERR_REMOTE_FAILURE;
  }
}

// The request control: it carries no value, so one constant serves all.
LDAPControl s_policyRequest = {const_cast<char*>(LDAP_CONTROL_PASSWORDPOLICYREQUEST), {0, nullptr}, 0};
LDAPControl* s_rgpPolicyRequest[] = {&s_policyRequest, nullptr};

}  // namespace

NWDSCCODE CNdsContext::Login(std::string_view sUser, std::string_view sPassword) {
  CSigpipeGuard sigpipe;
  CSectionLock lock(&m_cs);
  if (m_fClosed || !m_fHasTree) return NDS_ERR_BAD_CONTEXT;
  std::string sDn;
  NWDSCCODE nCode = NameToDn(sUser, false, &sDn);
  if (nCode != 0) return nCode;
  // A simple bind with an empty password is anonymous: it proves nothing.
  if (sPassword.empty()) return NDS_ERR_FAILED_AUTHENTICATION;
  EndSession();
  std::string sUtf8 = Latin1ToUtf8(sPassword);
  LDAPControl** rgpResponse = nullptr;
  int nResult = Bind(sDn, sUtf8, s_rgpPolicyRequest, &rgpResponse);
  int nGrace = -1;
  LDAPPasswordPolicyError ePolicy = PolicyError(m_pld, rgpResponse, &nGrace);
  ldap_controls_free(rgpResponse);
  if (nResult == LDAP_SUCCESS) {
    // Bound, but by a grace login or after an administrator's reset: the
    // password has to change now.
    nCode = ePolicy == PP_changeAfterReset || nGrace >= 0 ? NDS_ERR_PASSWORD_EXPIRED : 0;
    m_fLoggedIn = true;
    m_sLoginDn = sDn;
    m_sPassword = std::move(sUtf8);
    WipeSecret(&sUtf8);
    return nCode;
  }
  WipeSecret(&sUtf8);
  if (nResult == LDAP_INVALID_CREDENTIALS)
    return ePolicy == PP_accountLocked || ePolicy == PP_passwordExpired ? CodeFromPolicy(ePolicy)
                                                                          : NDS_ERR_FAILED_AUTHENTICATION;
  return CodeFromLdap(nResult);
}

NWDSCCODE CNdsContext::ChangePassword(std::string_view sObject, std::string_view sOld,
                                      std::string_view sNew) {
  CSigpipeGuard sigpipe;
  CSectionLock lock(&m_cs);
  if (m_fClosed || !m_fHasTree) return NDS_ERR_BAD_CONTEXT;
  if (!m_fLoggedIn) return NDS_ERR_NOT_LOGGED_IN;
  std::string sDn;
  NWDSCCODE nCode = NameToDn(sObject, false, &sDn);
  if (nCode == 0) nCode = EnsureSession();
  if (nCode != 0) return nCode;
  std::string sOldUtf8 = Latin1ToUtf8(sOld);
  std::string sNewUtf8 = Latin1ToUtf8(sNew);
  berval bvUser = {static_cast<ber_len_t>(sDn.size()), sDn.data()};
  berval bvOld = {static_cast<ber_len_t>(sOldUtf8.size()), sOldUtf8.data()};
  berval bvNew = {static_cast<ber_len_t>(sNewUtf8.size()), sNewUtf8.data()};
  int nMessage = 0;
  int nResult = ldap_passwd(m_pld, &bvUser, &bvOld, &bvNew, s_rgpPolicyRequest, nullptr, &nMessage);
  LDAPMessage* pResult = nullptr;
  if (nResult == LDAP_SUCCESS) nResult = WaitResult(nMessage, &pResult);
  LDAPControl** rgpResponse = nullptr;
  char* pszDiagnostic = nullptr;
  if (nResult == LDAP_SUCCESS) {
    int nCodeOfResult = LDAP_SUCCESS;
    if (ldap_parse_result(m_pld, pResult, &nCodeOfResult, nullptr, &pszDiagnostic, nullptr, &rgpResponse,
                          1) != LDAP_SUCCESS)
      nCodeOfResult = LDAP_DECODING_ERROR;
    nResult = nCodeOfResult;
  }
  NoteResult(nResult);
  WipeSecret(&sOldUtf8);
  WipeSecret(&sNewUtf8);
  int nGrace = -1;
  LDAPPasswordPolicyError ePolicy = PolicyError(m_pld, rgpResponse, &nGrace);
  ldap_controls_free(rgpResponse);
  // The server's own words for an old password it did not accept
  // ("unwilling to verify old password"), when no policy rule is named.
  bool fOldRefused = pszDiagnostic != nullptr && strcasestr(pszDiagnostic, "old password") != nullptr;
  ldap_memfree(pszDiagnostic);
  if (nResult == LDAP_SUCCESS) return 0;
  if (ePolicy != PP_noError) return CodeFromPolicy(ePolicy);
  if (nResult == LDAP_UNWILLING_TO_PERFORM && fOldRefused) return NDS_ERR_FAILED_AUTHENTICATION;
  return CodeFromLdap(nResult);
}

}  // namespace netwin32

using namespace netwin32;

extern "C" {

NWDSCCODE NWDSLogin(NWDSContextHandle context, uint32_t, const char* pszUser, const char* pszPassword,
                    uint32_t) {
  std::shared_ptr<CNdsContext> pContext = FindContext(context);
  if (!pContext) return NDS_ERR_BAD_CONTEXT;
  if (pszUser == nullptr || pszPassword == nullptr) return NDS_ERR_NULL_POINTER;
  return pContext->Login(pszUser, pszPassword);
}

NWDSCCODE NWDSChangeObjectPassword(NWDSContextHandle context, uint32_t, const char* pszObject,
                                   const char* pszOld, const char* pszNew) {
  std::shared_ptr<CNdsContext> pContext = FindContext(context);
  if (!pContext) return NDS_ERR_BAD_CONTEXT;
  if (pszObject == nullptr || pszOld == nullptr || pszNew == nullptr) return NDS_ERR_NULL_POINTER;
  return pContext->ChangePassword(pszObject, pszOld, pszNew);
}

}  // extern "C"
