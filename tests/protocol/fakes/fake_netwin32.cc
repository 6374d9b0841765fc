// A stand-in NDS client library for tests: the 21 exports, with login and
// change results set through FakeNdsConfigure, or, until it is called, told
// by the passwords: an old password "bad-old" fails the login (-669), a new
// password "too-short" is refused (-216), "unlisted" gets an unlisted code
// (-217); anything else succeeds.
#include <cstdint>
#include <string>

namespace {
bool g_fConfigured = false;
int32_t g_nLoginCode = 0;
int32_t g_nChangeCode = 0;
int32_t g_nSetContextCode = 0;
int g_nLogouts = 0;
int g_nFrees = 0;
std::string g_tree;
std::string g_user;
std::string g_old;
std::string g_new;
}  // namespace

extern "C" {
void FakeNdsConfigure(int32_t nSetContext, int32_t nLogin, int32_t nChange) {
  g_fConfigured = true;
  g_nSetContextCode = nSetContext;
  g_nLoginCode = nLogin;
  g_nChangeCode = nChange;
  g_nLogouts = g_nFrees = 0;
}
// "tree|user|old|new|logouts|frees" of the last change.
const char* FakeNdsLastCall() {
  static std::string s;
  s = g_tree + "|" + g_user + "|" + g_old + "|" + g_new + "|" + std::to_string(g_nLogouts) + "|" +
      std::to_string(g_nFrees);
  return s.c_str();
}

int32_t NWDSCreateContextHandle(uint32_t* pContext) {
  *pContext = 7;
  return 0;
}
int32_t NWDSSetContext(uint32_t, int nKey, const void* pvValue) {
  if (nKey == 11) g_tree = static_cast<const char*>(pvValue);
  return g_nSetContextCode;
}
int32_t NWDSLogin(uint32_t, uint32_t, const char* pszUser, const char* pszPassword, uint32_t) {
  g_user = pszUser;
  g_old = pszPassword;
  if (!g_fConfigured) return g_old == "bad-old" ? -669 : 0;
  return g_nLoginCode;
}
int32_t NWDSChangeObjectPassword(uint32_t, uint32_t, const char*, const char*, const char* pszNew) {
  g_new = pszNew;
  if (!g_fConfigured) return g_new == "too-short" ? -216 : g_new == "unlisted" ? -217 : 0;
  return g_nChangeCode;
}
int32_t NWDSLogout(uint32_t) { return ++g_nLogouts, 0; }
int32_t NWDSFreeContext(uint32_t) { return ++g_nFrees, 0; }
#define FAKE_NDS_UNUSED(name) \
  int32_t name() { return -1; }
FAKE_NDS_UNUSED(NWDSAllocBuf)
FAKE_NDS_UNUSED(NWDSInitBuf)
FAKE_NDS_UNUSED(NWDSAllocFilter)
FAKE_NDS_UNUSED(NWDSAddFilterToken)
FAKE_NDS_UNUSED(NWDSGetSyntaxID)
FAKE_NDS_UNUSED(NWDSPutFilter)
FAKE_NDS_UNUSED(NWDSPutAttrName)
FAKE_NDS_UNUSED(NWDSSearch)
FAKE_NDS_UNUSED(NWDSGetObjectCount)
FAKE_NDS_UNUSED(NWDSGetObjectName)
FAKE_NDS_UNUSED(NWDSGetAttrName)
FAKE_NDS_UNUSED(NWDSComputeAttrValSize)
FAKE_NDS_UNUSED(NWDSGetAttrVal)
FAKE_NDS_UNUSED(NWDSFreeBuf)
#ifndef FAKE_NDS_WITHOUT_FREE_FILTER
FAKE_NDS_UNUSED(NWDSFreeFilter)
#endif
}
