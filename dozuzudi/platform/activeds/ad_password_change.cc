// Password change on Active Directory: one modify of unicodePwd that
// deletes the old value and adds the new one, each the password in double
// quotes encoded as UTF-16LE. The directory checks the old value and its
// password policy; it answers refusals with a constraint violation whose
// diagnostic text starts with the Win32 code in hex.
#include <cstdlib>

#include "platform/activeds/ads_last_error.h"
#include "platform/activeds/ads_user.h"

namespace {

std::string QuotedUtf16Le(const std::string& sPassword) {
  std::u16string w = u"\"" + platform::FromUtf8(sPassword) + u"\"";
  std::string sBytes;
  sBytes.reserve(w.size() * 2);
  for (char16_t ch : w) {
    sBytes += static_cast<char>(ch & 0xFF);
    sBytes += static_cast<char>(ch >> 8);
  }
  volatile char16_t* pw = w.data();
  for (size_t i = 0; i < w.size(); ++i) pw[i] = 0;
  return sBytes;
}

}  // namespace

HRESULT ChangeActiveDirectoryPassword(CDirectorySession* pSession, const std::string& sDn,
                                      const std::string& sOld, const std::string& sNew) {
  std::string sOldValue = QuotedUtf16Le(sOld);
  std::string sNewValue = QuotedUtf16Le(sNew);
  berval bvOld = {static_cast<ber_len_t>(sOldValue.size()), sOldValue.data()};
  berval bvNew = {static_cast<ber_len_t>(sNewValue.size()), sNewValue.data()};
  berval* rgpbvOld[] = {&bvOld, nullptr};
  berval* rgpbvNew[] = {&bvNew, nullptr};
  char szAttribute[] = "unicodePwd";
  LDAPMod modDelete = {LDAP_MOD_DELETE | LDAP_MOD_BVALUES, szAttribute, {nullptr}};
  modDelete.mod_bvalues = rgpbvOld;
  LDAPMod modAdd = {LDAP_MOD_ADD | LDAP_MOD_BVALUES, szAttribute, {nullptr}};
  modAdd.mod_bvalues = rgpbvNew;
  LDAPMod* rgpMods[] = {&modDelete, &modAdd, nullptr};
  LDAP* pld = pSession->Connection();
  int nCode = ldap_modify_ext_s(pld, sDn.c_str(), rgpMods, nullptr, nullptr);
  pSession->NoteResult(nCode);
  platform::WipeString(&sOldValue);
  platform::WipeString(&sNewValue);
  if (nCode == LDAP_SUCCESS) {
    ClearAdsLastError();
    return S_OK;
  }
  HRESULT hr = HresultFromLdap(pld, nCode);
  if (nCode != LDAP_CONSTRAINT_VIOLATION) return hr;
  std::string sText = platform::DiagnosticMessage(pld);
  DWORD dwExtended = static_cast<DWORD>(std::strtoul(sText.substr(0, 8).c_str(), nullptr, 16));
  switch (dwExtended) {
    case 0x56:  // ERROR_INVALID_PASSWORD: the old password did not match
      return HRESULT_FROM_WIN32(86);
    case 0x52D:  // ERROR_PASSWORD_RESTRICTION: length, complexity, history or age
      return HRESULT_FROM_WIN32(8239);
    case 0:
      return hr;
    default:  // a locked or disabled account, among others
      return HRESULT_FROM_WIN32(dwExtended);
  }
}
