// The "kerberos" provider: the user changes the password as themself, with
// the Kerberos password-change protocol of MIT libkrb5. An initial ticket for
// "kadmin/changepw" is asked for with the old password, then the change is
// sent with it to the realm's password server.
#include <krb5/krb5.h>
#include <profile.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/netapi/domain_provider.h"
#include "platform/netapi/kerberos/kerberos_profile.h"
#include "platform/netapi/netapi.h"
#include "platform/text/wstr.h"
#include "platform/text/secret_text.h"

namespace platform {
namespace {

// The status for a failed request for the initial ticket.
NET_API_STATUS MapInitialTicketError(krb5_error_code code) {
  switch (code) {
    case KRB5KDC_ERR_PREAUTH_FAILED:
    case KRB5KRB_AP_ERR_BAD_INTEGRITY:
      return ERROR_INVALID_PASSWORD;
    case KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN:
      return NERR_UserNotFound;
    case KRB5KDC_ERR_CLIENT_REVOKED:
      return ERROR_ACCOUNT_LOCKED_OUT;
    default:
      // The KDC unreachable, the realm unknown or not resolvable, or another
      // failure on the way to the domain.
      return ERROR_NO_SUCH_DOMAIN;
  }
}

bool Contains(const std::string& text, const char* pszWord) { return text.find(pszWord) != std::string::npos; }

// Active Directory answers a policy refusal with its binary policy block
// (30 bytes, starting with two zero bytes) instead of text. The block states
// the policy, not which rule was broken.
bool IsAdPolicyBlock(const krb5_data& result) {
  return result.length == 30 && result.data[0] == 0 && result.data[1] == 0;
}

// A soft refusal: which rule from the server's message.
NET_API_STATUS ClassifyRefusal(krb5_context pContext, const krb5_data& result) {
  if (IsAdPolicyBlock(result)) return NERR_PasswordTooShort;
  char* pszMessage = nullptr;
  if (krb5_chpw_message(pContext, &result, &pszMessage) != 0 || pszMessage == nullptr)
    return NERR_PasswordTooShort;
  std::string text(pszMessage);
  krb5_free_string(pContext, pszMessage);
  for (char& ch : text) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + ('a' - 'A') : ch);
  if (Contains(text, "history") || Contains(text, "used previously") || Contains(text, "already used") ||
      Contains(text, "reuse"))
    return NERR_PasswordHistConflict;
  if (Contains(text, "too recently") || Contains(text, "too young") || Contains(text, "minimum password age") ||
      Contains(text, "too soon"))
    return NERR_PasswordTooRecent;
  return NERR_PasswordTooShort;
}

NET_API_STATUS MapChangeResult(krb5_context pContext, int nResult, const krb5_data& result) {
  switch (nResult) {
    case KRB5_KPASSWD_SUCCESS:
      return NERR_Success;
    case KRB5_KPASSWD_SOFTERROR:
      return ClassifyRefusal(pContext, result);
    case KRB5_KPASSWD_ACCESSDENIED:
      return ERROR_ACCESS_DENIED;
    default:
      return ERROR_INTERNAL_ERROR;
  }
}

struct CContextFree {
  void operator()(krb5_context pContext) const { krb5_free_context(pContext); }
};
using CContext = std::unique_ptr<std::remove_pointer_t<krb5_context>, CContextFree>;

NET_API_STATUS ChangeWithContext(krb5_context pContext, const std::string& realm, const std::string& user,
                                 const char* pszOld, const char* pszNew) {
  krb5_principal pClient = nullptr;
  if (krb5_build_principal(pContext, &pClient, static_cast<unsigned int>(realm.size()), realm.c_str(),
                           user.c_str(), static_cast<char*>(nullptr)) != 0)
    return ERROR_INTERNAL_ERROR;
  krb5_get_init_creds_opt* pOptions = nullptr;
  if (krb5_get_init_creds_opt_alloc(pContext, &pOptions) != 0) {
    krb5_free_principal(pContext, pClient);
    return ERROR_INTERNAL_ERROR;
  }
  krb5_get_init_creds_opt_set_change_password_prompt(pOptions, 0);
  krb5_get_init_creds_opt_set_tkt_life(pOptions, 300);
  krb5_get_init_creds_opt_set_renew_life(pOptions, 0);
  krb5_get_init_creds_opt_set_forwardable(pOptions, 0);
  krb5_get_init_creds_opt_set_proxiable(pOptions, 0);

  krb5_creds creds;
  memset(&creds, 0, sizeof(creds));
  NET_API_STATUS status;
  krb5_error_code code = krb5_get_init_creds_password(pContext, &creds, pClient, pszOld, nullptr, nullptr, 0,
                                                      "kadmin/changepw", pOptions);
  if (code != 0) {
    status = MapInitialTicketError(code);
  } else {
    int nResult = 0;
    krb5_data resultCode{}, result{};
    code = krb5_change_password(pContext, &creds, pszNew, &nResult, &resultCode, &result);
    status = code != 0 ? ERROR_NO_SUCH_DOMAIN : MapChangeResult(pContext, nResult, result);
    krb5_free_data_contents(pContext, &resultCode);
    krb5_free_data_contents(pContext, &result);
    krb5_free_cred_contents(pContext, &creds);
  }
  krb5_get_init_creds_opt_free(pContext, pOptions);
  krb5_free_principal(pContext, pClient);
  return status;
}

}  // namespace

NET_API_STATUS ChangeKerberosPassword(const CDomainProvider& provider, const WCHAR* pwszUser,
                                      const WCHAR* pwszOld, const WCHAR* pwszNew) {
  std::string user = ToUtf8(pwszUser);
  if (user.empty()) return NERR_UserNotFound;
  CKerberosProfile configuration(provider.realm, provider.kdc, provider.kpasswdServer);
  krb5_context pRaw = nullptr;
  if (!provider.kdc.empty()) {
    if (provider.realm.empty()) return ERROR_NO_SUCH_DOMAIN;
    profile_t profile = configuration.NewProfile();
    if (profile == nullptr) return ERROR_INTERNAL_ERROR;
    krb5_error_code code = krb5_init_context_profile(profile, 0, &pRaw);
    profile_release(profile);
    if (code != 0) return ERROR_INTERNAL_ERROR;
  } else if (krb5_init_context(&pRaw) != 0) {
    return ERROR_NO_SUCH_DOMAIN;
  }
  CContext context(pRaw);
  std::string realm = provider.realm;
  if (realm.empty()) {
    char* pszRealm = nullptr;
    if (krb5_get_default_realm(pRaw, &pszRealm) != 0) return ERROR_NO_SUCH_DOMAIN;
    realm = pszRealm;
    krb5_free_default_realm(pRaw, pszRealm);
  }
  CSecretUtf8 oldPassword(pwszOld);
  CSecretUtf8 newPassword(pwszNew);
  return ChangeWithContext(pRaw, realm, user, oldPassword.Text(), newPassword.Text());
}

}  // namespace platform
