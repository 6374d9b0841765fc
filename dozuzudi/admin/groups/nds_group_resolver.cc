#include "admin/groups/nds_group_resolver.h"

#include "admin/groups/group_request.h"
#include "admin/groups/group_text.h"
#include "admin/password/nds/narrow_text.h"
#include "platform/base/heap.h"

namespace {

const char s_szRoot[] = "[Root]";
const char s_szGroupMembership[] = "Group Membership";
const char s_szObjectClass[] = "Object Class";
const char s_szUserClass[] = "User";
const char s_szGroupClass[] = "Group";
// The buffers the listing uses, and the name buffers the reading
// functions fill.
const size_t s_cbBuffer = NDS_DEFAULT_MESSAGE_LEN;
const size_t s_cbObjectName = MAX_DN_BYTES;
const size_t s_cbAttrName = MAX_SCHEMA_NAME_BYTES;

// The bytes as UTF-16 units of the same values.
WCHAR* WideCopy(const char* psz) {
  DWORD cb = 0;
  while (psz[cb] != '\0') ++cb;
  auto* pwsz = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, (static_cast<SIZE_T>(cb) + 1) * sizeof(WCHAR)));
  if (pwsz == nullptr) return nullptr;
  for (DWORD i = 0; i <= cb; ++i) pwsz[i] = static_cast<unsigned char>(psz[i]);
  return pwsz;
}

bool SameString(const char* a, const char* b) {
  for (; *a != '\0' && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

}  // namespace

CNdsGroupResolver::~CNdsGroupResolver() { NdsLogout(); }

void CNdsGroupResolver::NdsLogin(const WCHAR* pwszTree, const WCHAR* pwszUser, const WCHAR* pwszPassword) {
  if (m_fLoggedIn || LoadNdsClient() != 1 || pwszTree == nullptr || pwszUser == nullptr || pwszPassword == nullptr)
    return;
  char* pszTree = NarrowCopy(pwszTree);
  char* pszUser = NarrowCopy(pwszUser);
  char* pszPassword = NarrowCopy(pwszPassword);
  if (pszTree != nullptr && pszUser != nullptr && pszPassword != nullptr) {
    m_context = 0;
    g_ndsClient.pfnCreateContextHandle(&m_context);
    m_fLoggedIn = g_ndsClient.pfnSetContext(m_context, DCK_TREE_NAME, pszTree) == 0 &&
                  g_ndsClient.pfnSetContext(m_context, DCK_NAME_CONTEXT, s_szRoot) == 0 &&
                  g_ndsClient.pfnLogin(m_context, 0, pszUser, pszPassword, 0) == 0;
    // A context that did not log in is of no further use.
    if (!m_fLoggedIn && m_context != 0) {
      g_ndsClient.pfnFreeContext(m_context);
      m_context = 0;
    }
  }
  FreeNarrow(pszTree);
  FreeNarrow(pszUser);
  FreeNarrow(pszPassword);
}

void CNdsGroupResolver::NdsLogout() {
  if (!m_fLoggedIn) return;
  g_ndsClient.pfnLogout(m_context);
  g_ndsClient.pfnFreeContext(m_context);
  m_context = 0;
  m_fLoggedIn = false;
}

void CNdsGroupResolver::ResolveNdsGroup(const CGroupName& group) {
  m_message.WriteGroupStart(group.Name(), group.Domain(), group.Type());
  if (m_fLoggedIn)
    ListNdsGroupMembers(group);
  else
    m_message.WriteErrorId(ERR_ID_NDS_LOGIN_FAILED);
  m_message.WriteGroupEnd();
}

void CNdsGroupResolver::ListNdsGroupMembers(const CGroupName& group) {
  const NdsClient& calls = g_ndsClient;
  char* pszGroup = group.Name() != nullptr ? NarrowCopy(group.Name()) : nullptr;
  pBuf_T pFilterBuf = nullptr;
  pBuf_T pAttrBuf = nullptr;
  pBuf_T pResult = nullptr;
  pFilter_Cursor_T pFilter = nullptr;
  uint32_t nSyntax = 0;
  // Every step that fails answers "nds-error" and ends the listing.
  bool fOk = pszGroup != nullptr && calls.pfnAllocBuf(s_cbBuffer, &pFilterBuf) >= 0 &&
             calls.pfnInitBuf(m_context, DSV_SEARCH_FILTER, pFilterBuf) >= 0 &&
             calls.pfnAllocFilter(&pFilter) >= 0 &&
             calls.pfnGetSyntaxID(m_context, s_szGroupMembership, &nSyntax) >= 0 &&
             calls.pfnAddFilterToken(pFilter, FTOK_ANAME, s_szGroupMembership, nSyntax) >= 0 &&
             calls.pfnAddFilterToken(pFilter, FTOK_EQ, nullptr, 0) >= 0 &&
             calls.pfnAddFilterToken(pFilter, FTOK_AVAL, pszGroup, nSyntax) >= 0;
  if (fOk) {
    fOk = calls.pfnPutFilter(m_context, pFilterBuf, pFilter, nullptr) >= 0;
    // The buffer took the filter over.
    if (fOk) pFilter = nullptr;
  }
  fOk = fOk && calls.pfnAllocBuf(s_cbBuffer, &pAttrBuf) >= 0 &&
        calls.pfnInitBuf(m_context, DSV_SEARCH, pAttrBuf) >= 0 &&
        calls.pfnPutAttrName(m_context, pAttrBuf, s_szObjectClass) >= 0 &&
        calls.pfnAllocBuf(s_cbBuffer, &pResult) >= 0;

  char szObject[s_cbObjectName];
  char szAttr[s_cbAttrName];
  int32_t iIteration = NO_MORE_ITERATIONS;
  while (fOk) {
    int32_t cSearched = 0;
    // A search that fails ends the listing: the iteration would not move on.
    fOk = calls.pfnSearch(m_context, s_szRoot, DS_SEARCH_SUBTREE, 0, pFilterBuf, DS_ATTRIBUTE_VALUES, 0, pAttrBuf,
                          &iIteration, 0, &cSearched, pResult) >= 0;
    uint32_t cObjects = 0;
    fOk = fOk && calls.pfnGetObjectCount(m_context, pResult, &cObjects) >= 0;
    for (uint32_t iObject = 0; fOk && iObject < cObjects; ++iObject) {
      uint32_t cAttrs = 0;
      fOk = calls.pfnGetObjectName(m_context, pResult, szObject, &cAttrs, nullptr) >= 0;
      bool fClassified = false;
      for (uint32_t iAttr = 0; fOk && iAttr < cAttrs; ++iAttr) {
        uint32_t cValues = 0, nValueSyntax = 0;
        fOk = calls.pfnGetAttrName(m_context, pResult, szAttr, &cValues, &nValueSyntax) >= 0;
        bool fClass = fOk && SameString(szAttr, s_szObjectClass);
        for (uint32_t iValue = 0; fOk && iValue < cValues; ++iValue) {
          uint32_t cbValue = 0;
          fOk = calls.pfnComputeAttrValSize(m_context, pResult, nValueSyntax, &cbValue) >= 0;
          // One byte more than asked for, so that the value is terminated
          // whatever the library wrote.
          auto* pbValue = fOk ? static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                                             static_cast<SIZE_T>(cbValue) + 1))
                              : nullptr;
          fOk = pbValue != nullptr && calls.pfnGetAttrVal(m_context, pResult, nValueSyntax, pbValue) >= 0;
          if (fOk && fClass && !fClassified) {
            bool fUser = SameString(pbValue, s_szUserClass);
            bool fGroup = !fUser && SameString(pbValue, s_szGroupClass);
            if (fUser || fGroup) {
              fClassified = true;
              szObject[s_cbObjectName - 1] = '\0';
              WCHAR* pwszObject = WideCopy(szObject);
              if (pwszObject != nullptr && fUser) {
                m_message.WriteUserName(pwszObject, group.Domain());
              } else if (pwszObject != nullptr) {
                m_message.WriteGroupName(pwszObject, group.Domain());
                if (m_queue.Recurse()) m_queue.Queue(pwszObject, group.Domain(), group.Type());
              }
              FreeText(pwszObject);
            }
          }
          if (pbValue != nullptr) HeapFree(GetProcessHeap(), 0, pbValue);
        }
      }
    }
    if (iIteration == NO_MORE_ITERATIONS) break;
  }
  if (!fOk) m_message.WriteErrorId(ERR_ID_NDS_ERROR);
  if (pFilter != nullptr) calls.pfnFreeFilter(pFilter, nullptr);
  if (pFilterBuf != nullptr) calls.pfnFreeBuf(pFilterBuf);
  if (pAttrBuf != nullptr) calls.pfnFreeBuf(pAttrBuf);
  if (pResult != nullptr) calls.pfnFreeBuf(pResult);
  FreeNarrow(pszGroup);
}
