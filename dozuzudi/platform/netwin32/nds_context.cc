// The context table, the context's tree and name context, its connection,
// and the exported context functions.
#include "platform/netwin32/nds_context.h"

#include <unordered_map>

#include "platform/ldap/directory_connection.h"
#include "platform/netwin32/idle_connections.h"
#include "platform/netwin32/nds_search.h"

namespace netwin32 {
namespace {

constexpr size_t kMaxContexts = 4096;

CRITICAL_SECTION s_csTable;
// Never destroyed: contexts still open when the process ends are left to it
// rather than closed after the idle connections they would return to.
auto& s_contexts GUARDED_BY(s_csTable) =
    *new std::unordered_map<NWDSContextHandle, std::shared_ptr<CNdsContext>>;
// Handles are never reused while the counter has not wrapped; 0 is never one.
NWDSContextHandle s_nLastHandle GUARDED_BY(s_csTable) = 0;

NWDSCCODE AddContext(NWDSContextHandle* pContext) {
  auto pNew = std::make_shared<CNdsContext>();
  CSectionLock lock(&s_csTable);
  if (s_contexts.size() >= kMaxContexts) return NDS_ERR_NOT_ENOUGH_MEMORY;
  do {
    ++s_nLastHandle;
  } while (s_nLastHandle == 0 || s_contexts.count(s_nLastHandle) != 0);
  s_contexts.emplace(s_nLastHandle, std::move(pNew));
  *pContext = s_nLastHandle;
  return 0;
}

std::shared_ptr<CNdsContext> RemoveContext(NWDSContextHandle context) {
  CSectionLock lock(&s_csTable);
  auto it = s_contexts.find(context);
  if (it == s_contexts.end()) return nullptr;
  std::shared_ptr<CNdsContext> p = std::move(it->second);
  s_contexts.erase(it);
  return p;
}

}  // namespace

std::shared_ptr<CNdsContext> FindContext(NWDSContextHandle context) {
  CSectionLock lock(&s_csTable);
  auto it = s_contexts.find(context);
  return it == s_contexts.end() ? nullptr : it->second;
}

void WipeSecret(std::string* ps) {
  volatile char* pch = ps->data();
  for (size_t i = 0; i < ps->capacity(); ++i) pch[i] = 0;
  ps->clear();
}

NWDSCCODE CodeFromLdap(int nCode) {
  switch (nCode) {
    case LDAP_SUCCESS: return 0;
    case LDAP_SERVER_DOWN:
    case LDAP_TIMEOUT:
    case LDAP_UNAVAILABLE:
    case LDAP_BUSY: return NDS_ERR_TRANSPORT_FAILURE;
    case LDAP_CONNECT_ERROR:
    case LDAP_CONFIDENTIALITY_REQUIRED: return NDS_ERR_FAILED_SERVER_AUTHENT;
    case LDAP_INVALID_CREDENTIALS: return NDS_ERR_FAILED_AUTHENTICATION;
    case LDAP_INSUFFICIENT_ACCESS: return NDS_ERR_NO_ACCESS;
    case LDAP_NO_SUCH_OBJECT: return NDS_ERR_NO_SUCH_ENTRY;
    case LDAP_INVALID_DN_SYNTAX: return NDS_ERR_INVALID_DS_NAME;
    case LDAP_NO_MEMORY: return NDS_ERR_NOT_ENOUGH_MEMORY;
    case LDAP_CONSTRAINT_VIOLATION: return NDS_ERR_SYNTAX_VIOLATION;
    default: return NDS_ERR_REMOTE_FAILURE;
  }
}

CNdsContext::CNdsContext() = default;

CNdsContext::~CNdsContext() {
  CSigpipeGuard sigpipe;
  CSectionLock lock(&m_cs);
  EndSession();
}

NWDSCCODE CNdsContext::Check() {
  CSectionLock lock(&m_cs);
  return m_fClosed ? NDS_ERR_BAD_CONTEXT : 0;
}

NWDSCCODE CNdsContext::SetTree(std::string_view sTree) {
  CSigpipeGuard sigpipe;
  CTreeSettings tree;
  NWDSCCODE nCode = ReadTreeSettings(sTree, &tree);
  CSectionLock lock(&m_cs);
  if (m_fClosed) return NDS_ERR_BAD_CONTEXT;
  if (nCode != 0) return nCode;
  EndSession();
  m_tree = std::move(tree);
  m_fHasTree = true;
  return 0;
}

NWDSCCODE CNdsContext::SetNameContext(std::string_view sName) {
  CSectionLock lock(&m_cs);
  if (m_fClosed) return NDS_ERR_BAD_CONTEXT;
  // The context itself is a full name: a leading dot is optional.
  if (!sName.empty() && sName[0] == '.') sName.remove_prefix(1);
  CNdsName name;
  NWDSCCODE nCode = ParseNdsName(sName, {}, &name);
  if (nCode != 0) return nCode;
  m_nameContext = std::move(name);
  return 0;
}

NWDSCCODE CNdsContext::Logout() {
  CSigpipeGuard sigpipe;
  CSectionLock lock(&m_cs);
  if (m_fClosed) return NDS_ERR_BAD_CONTEXT;
  EndSession();
  return 0;
}

void CNdsContext::Close() {
  CSigpipeGuard sigpipe;
  CSectionLock lock(&m_cs);
  EndSession();
  m_fClosed = true;
}

NWDSCCODE CNdsContext::NameToDn(std::string_view sName, bool fContainer, std::string* psDn) {
  if (!m_fHasTree) return NDS_ERR_BAD_CONTEXT;
  CNdsName name;
  NWDSCCODE nCode = ParseNdsName(sName, m_nameContext, &name);
  if (nCode == 0) *psDn = NdsNameToDn(name, m_tree.naming, fContainer);
  return nCode;
}

void CNdsContext::EndSession() {
  m_iterations.clear();
  if (m_pld != nullptr) {
    if (m_fBroken)
      ldap_unbind_ext_s(m_pld, nullptr, nullptr);
    else
      KeepIdleConnection(m_tree.sConnectionKey, m_pld);
  }
  m_pld = nullptr;
  m_fBroken = false;
  m_fBound = false;
  m_fLoggedIn = false;
  WipeSecret(&m_sPassword);
  m_sLoginDn.clear();
}

void CNdsContext::NoteResult(int nCode) {
  if (platform::IsConnectionFailure(nCode)) m_fBroken = true;
}

int CNdsContext::WaitResult(int nMessage, LDAPMessage** ppResult) {
  *ppResult = nullptr;
  timeval tv = {static_cast<time_t>(m_tree.connection.nTimeoutSeconds), 0};
  int nType = ldap_result(m_pld, nMessage, LDAP_MSG_ALL, &tv, ppResult);
  if (nType > 0) return LDAP_SUCCESS;
  if (*ppResult != nullptr) ldap_msgfree(*ppResult);
  *ppResult = nullptr;
  int nCode = LDAP_TIMEOUT;
  if (nType < 0) ldap_get_option(m_pld, LDAP_OPT_RESULT_CODE, &nCode);
  if (nCode == LDAP_SUCCESS) nCode = LDAP_OTHER;
  NoteResult(nCode);
  return nCode;
}

int CNdsContext::Bind(const std::string& sDn, const std::string& sPassword, LDAPControl** rgpControls,
                      LDAPControl*** prgpResponse) {
  *prgpResponse = nullptr;
  m_fBound = false;
  for (int nAttempt = 0;; ++nAttempt) {
    if (m_pld != nullptr && m_fBroken) {
      ldap_unbind_ext_s(m_pld, nullptr, nullptr);
      m_pld = nullptr;
    }
    m_fBroken = false;
    bool fKept = true;  // a connection opened before this call
    if (m_pld == nullptr) m_pld = TakeIdleConnection(m_tree.sConnectionKey);
    if (m_pld == nullptr) {
      fKept = false;
      int nCode = platform::OpenDirectoryConnection(m_tree.connection, &m_pld);
      if (nCode != LDAP_SUCCESS) return nCode;
    }
    berval cred = {static_cast<ber_len_t>(sPassword.size()), const_cast<char*>(sPassword.data())};
    int nMessage = 0;
    int nCode = ldap_sasl_bind(m_pld, sDn.c_str(), LDAP_SASL_SIMPLE, &cred, rgpControls, nullptr, &nMessage);
    LDAPMessage* pResult = nullptr;
    if (nCode == LDAP_SUCCESS) nCode = WaitResult(nMessage, &pResult);
    if (nCode == LDAP_SUCCESS) {
      int nResult = LDAP_SUCCESS;
      if (ldap_parse_result(m_pld, pResult, &nResult, nullptr, nullptr, nullptr, prgpResponse, 1) !=
          LDAP_SUCCESS)
        nResult = LDAP_DECODING_ERROR;
      nCode = nResult;
    }
    NoteResult(nCode);
    // A kept connection whose server went away (a restart) is replaced once;
    // the other connections kept for the tree went with it.
    if (nCode == LDAP_SERVER_DOWN && fKept && nAttempt == 0) {
      DropIdleConnections(m_tree.sConnectionKey);
      ldap_controls_free(*prgpResponse);
      *prgpResponse = nullptr;
      continue;
    }
    m_fBound = nCode == LDAP_SUCCESS;
    return nCode;
  }
}

NWDSCCODE CNdsContext::EnsureSession() {
  if (m_pld != nullptr && m_fBound && !m_fBroken) return 0;
  LDAPControl** rgpResponse = nullptr;
  int nCode = Bind(m_fLoggedIn ? m_sLoginDn : std::string(), m_fLoggedIn ? m_sPassword : std::string(),
                   nullptr, &rgpResponse);
  ldap_controls_free(rgpResponse);
  return CodeFromLdap(nCode);
}

}  // namespace netwin32

using namespace netwin32;

extern "C" {

NWDSCCODE NWDSCreateContextHandle(NWDSContextHandle* pContext) {
  if (pContext == nullptr) return NDS_ERR_NULL_POINTER;
  *pContext = 0;
  return AddContext(pContext);
}

NWDSCCODE NWDSSetContext(NWDSContextHandle context, int nKey, const void* pvValue) {
  std::shared_ptr<CNdsContext> pContext = FindContext(context);
  if (!pContext) return NDS_ERR_BAD_CONTEXT;
  if (pvValue == nullptr) return NDS_ERR_NULL_POINTER;
  const char* psz = static_cast<const char*>(pvValue);
  switch (nKey) {
    case DCK_TREE_NAME: return pContext->SetTree(psz);
    case DCK_NAME_CONTEXT: return pContext->SetNameContext(psz);
    default: return NDS_ERR_BAD_KEY;
  }
}

NWDSCCODE NWDSLogout(NWDSContextHandle context) {
  std::shared_ptr<CNdsContext> pContext = FindContext(context);
  return pContext ? pContext->Logout() : NDS_ERR_BAD_CONTEXT;
}

NWDSCCODE NWDSFreeContext(NWDSContextHandle context) {
  std::shared_ptr<CNdsContext> pContext = RemoveContext(context);
  if (!pContext) return NDS_ERR_BAD_CONTEXT;
  pContext->Close();
  return 0;
}

}  // extern "C"
