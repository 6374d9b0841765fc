// The wide-character LDAP client functions over OpenLDAP. A handle made by
// ldap_initW is an OpenLDAP connection, opened at the bind.
#include <ldap.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/ldap/directory_connection.h"
#include "platform/base/sync.h"
#include "platform/text/wstr.h"
#include "platform/ldap/winldap_glue.h"

namespace {

// The Windows method value of a bind with the negotiated mechanism.
constexpr ULONG kAuthNegotiate = 0x486;

thread_local ULONG t_nLastError = 0;

ULONG Record(int nCode) {
  t_nLastError = static_cast<ULONG>(nCode < 0 ? -nCode : nCode);
  return t_nLastError;
}

// Handles that ldap_initW took from the pool of service connections (already
// bound with the service's identity), with the settings they were made for.
struct CPooledHandle {
  platform::CDirectorySettings settings;
  bool fBroken = false;
};
CRITICAL_SECTION s_csPooled;
std::map<LDAP*, CPooledHandle> s_pooled GUARDED_BY(s_csPooled);

bool IsPooled(LDAP* pld) {
  EnterCriticalSection(&s_csPooled);
  bool fPooled = s_pooled.count(pld) != 0;
  LeaveCriticalSection(&s_csPooled);
  return fPooled;
}

void NoteResult(LDAP* pld, int nCode) {
  if (!platform::IsConnectionFailure(nCode)) return;
  EnterCriticalSection(&s_csPooled);
  auto it = s_pooled.find(pld);
  if (it != s_pooled.end()) it->second.fBroken = true;
  LeaveCriticalSection(&s_csPooled);
}

// Takes the handle out of the pool's care; true when it was pooled, with
// what the pool needs to take it back.
bool TakePooled(LDAP* pld, CPooledHandle* pHandle) {
  EnterCriticalSection(&s_csPooled);
  auto it = s_pooled.find(pld);
  bool fPooled = it != s_pooled.end();
  if (fPooled) {
    *pHandle = std::move(it->second);
    s_pooled.erase(it);
  }
  LeaveCriticalSection(&s_csPooled);
  return fPooled;
}

}  // namespace

namespace platform {

LDAPMessage* LdapFirstEntry(LDAP* pld, LDAPMessage* pRes) {
  if (pld == nullptr || pRes == nullptr) return nullptr;
  return ::ldap_first_entry(pld, pRes);
}

ULONG LdapMsgFree(LDAPMessage* pRes) {
  if (pRes != nullptr) ::ldap_msgfree(pRes);
  return LDAP_SUCCESS;
}

ULONG LdapUnbind(LDAP* pld) {
  if (pld == nullptr) return Record(LDAP_PARAM_ERROR);
  CPooledHandle handle;
  if (TakePooled(pld, &handle)) {
    platform::ReturnServiceConnection(handle.settings, pld, !handle.fBroken);
    return Record(LDAP_SUCCESS);
  }
  return Record(ldap_unbind_ext_s(pld, nullptr, nullptr));
}

}  // namespace platform

// The exported functions of winldap.h (which this file cannot include beside
// OpenLDAP's ldap.h).
VLT_API_BEGIN

LDAP* ldap_initW(const WCHAR* pwHost, ULONG nPort) {
  platform::CDirectorySettings settings;
  if (!platform::ReadDirectorySettings(&settings)) {
    Record(LDAP_CONNECT_ERROR);
    return nullptr;
  }
  if (pwHost != nullptr && *pwHost != 0) {
    std::string sScheme = nPort == LDAPS_PORT ? "ldaps://" : "ldap://";
    settings.rgsServers = {sScheme + platform::ToUtf8(pwHost) + ":" + std::to_string(nPort) + "/"};
  }
  LDAP* pld = nullptr;
  // The directory's own servers: a connection of the service's identity from
  // the pool serves the usual bind that follows. Without one, a plain
  // connection lets the bind report why.
  if ((pwHost == nullptr || *pwHost == 0) &&
      platform::AcquireServiceConnection(settings, &pld) == LDAP_SUCCESS) {
    EnterCriticalSection(&s_csPooled);
    s_pooled[pld] = CPooledHandle{settings, false};
    LeaveCriticalSection(&s_csPooled);
    Record(LDAP_SUCCESS);
    return pld;
  }
  int nCode = platform::OpenDirectoryConnection(settings, &pld);
  Record(nCode);
  return nCode == LDAP_SUCCESS ? pld : nullptr;
}

ULONG ldap_bind_sW(LDAP* pld, const WCHAR* pwDn, const WCHAR* pwCred, ULONG nMethod) {
  if (pld == nullptr) return Record(LDAP_PARAM_ERROR);
  bool fServiceBind = nMethod == kAuthNegotiate && pwDn == nullptr && pwCred == nullptr;
  if (fServiceBind && IsPooled(pld)) return Record(LDAP_SUCCESS);
  // Any other bind changes the identity: the handle leaves the pool for good.
  CPooledHandle handle;
  TakePooled(pld, &handle);
  if (fServiceBind) {
    platform::CDirectorySettings settings;
    if (!platform::ReadDirectorySettings(&settings)) return Record(LDAP_INVALID_CREDENTIALS);
    return Record(platform::BindServiceIdentity(pld, settings));
  }
  if (nMethod != LDAP_AUTH_SIMPLE && nMethod != kAuthNegotiate)
    return Record(LDAP_AUTH_METHOD_NOT_SUPPORTED);
  std::string sCred = platform::ToUtf8(pwCred);
  int nCode = platform::BindSimple(pld, platform::ToUtf8(pwDn), sCred);
  platform::WipeString(&sCred);
  return Record(nCode);
}

ULONG ldap_search_sW(LDAP* pld, const WCHAR* pwBase, ULONG nScope, const WCHAR* pwFilter,
                     WCHAR** rgpwAttrs, ULONG fAttrsOnly, LDAPMessage** ppRes) {
  if (ppRes != nullptr) *ppRes = nullptr;
  if (pld == nullptr || ppRes == nullptr) return Record(LDAP_PARAM_ERROR);
  std::vector<std::string> rgsAttrs;
  for (WCHAR** ppw = rgpwAttrs; ppw != nullptr && *ppw != nullptr; ++ppw)
    rgsAttrs.push_back(platform::ToUtf8(*ppw));
  std::vector<char*> rgpszAttrs;
  for (std::string& s : rgsAttrs) rgpszAttrs.push_back(s.data());
  rgpszAttrs.push_back(nullptr);
  std::string sFilter = pwFilter == nullptr ? "(objectClass=*)" : platform::ToUtf8(pwFilter);
  int nCode = ldap_search_ext_s(pld, platform::ToUtf8(pwBase).c_str(), static_cast<int>(nScope),
                                sFilter.c_str(), rgpwAttrs == nullptr ? nullptr : rgpszAttrs.data(),
                                static_cast<int>(fAttrsOnly), nullptr, nullptr, nullptr, 0, ppRes);
  NoteResult(pld, nCode);
  return Record(nCode);
}

WCHAR** ldap_get_valuesW(LDAP* pld, LDAPMessage* pEntry, const WCHAR* pwAttr) {
  if (pld == nullptr || pEntry == nullptr || pwAttr == nullptr) {
    Record(LDAP_PARAM_ERROR);
    return nullptr;
  }
  berval** rgpbv = ldap_get_values_len(pld, pEntry, platform::ToUtf8(pwAttr).c_str());
  if (rgpbv == nullptr) {
    int nCode = LDAP_SUCCESS;
    ldap_get_option(pld, LDAP_OPT_RESULT_CODE, &nCode);
    // An attribute that the entry does not hold is no error.
    Record(nCode == LDAP_DECODING_ERROR ? LDAP_SUCCESS : nCode);
    return nullptr;
  }
  int cValues = ldap_count_values_len(rgpbv);
  auto** rgpw = static_cast<WCHAR**>(std::calloc(static_cast<size_t>(cValues) + 1, sizeof(WCHAR*)));
  for (int i = 0; rgpw != nullptr && i < cValues; ++i) {
    std::u16string s = platform::FromUtf8(std::string_view(rgpbv[i]->bv_val, rgpbv[i]->bv_len));
    rgpw[i] = static_cast<WCHAR*>(std::calloc(s.size() + 1, sizeof(WCHAR)));
    if (rgpw[i] != nullptr) std::memcpy(rgpw[i], s.c_str(), s.size() * sizeof(WCHAR));
  }
  ldap_value_free_len(rgpbv);
  Record(rgpw == nullptr ? LDAP_NO_MEMORY : LDAP_SUCCESS);
  return rgpw;
}

ULONG ldap_value_freeW(WCHAR** rgpw) {
  for (WCHAR** ppw = rgpw; ppw != nullptr && *ppw != nullptr; ++ppw) std::free(*ppw);
  std::free(rgpw);
  return LDAP_SUCCESS;
}

ULONG LdapGetLastError() { return t_nLastError; }

WCHAR* ldap_err2stringW(ULONG nCode) {
  // Each thread keeps its own texts, so a returned text stays valid for the
  // thread's life and no lock is needed.
  thread_local std::map<ULONG, std::u16string> t_texts;
  auto it = t_texts.find(nCode);
  if (it == t_texts.end())
    it = t_texts.emplace(nCode, platform::FromUtf8(ldap_err2string(static_cast<int>(nCode)))).first;
  return it->second.data();
}

VLT_API_END
