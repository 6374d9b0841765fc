// The NDS client library in-process, loaded as the extension loads it,
// against the tree's slapd: the completion codes of login and change, the
// connection rules, contexts, buffers and searches.
#include <gtest/gtest.h>

#include <thread>
#include <string>
#include <vector>

#include "admin/password/nds/nds_client.h"
#include "fake_isapi_host.h"
#include "nds_tree_server.h"

namespace {

class NdsLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    VLT_START_OR_SKIP(m_tree, "slapd");
    m_registry.Use(m_tree.Registry());
    ASSERT_EQ(LoadNdsClient(), 1);
  }
  // A context of the tree; the caller frees it.
  NWDSContextHandle Context(const char* pszTree = "acme") {
    NWDSContextHandle context = 0;
    EXPECT_EQ(c.pfnCreateContextHandle(&context), 0);
    EXPECT_EQ(c.pfnSetContext(context, DCK_TREE_NAME, pszTree), 0);
    return context;
  }
  NWDSCCODE Login(const char* pszUser, const char* pszPassword, const char* pszTree = "acme") {
    NWDSContextHandle context = Context(pszTree);
    NWDSCCODE nCode = c.pfnLogin(context, 0, pszUser, pszPassword, 0);
    c.pfnFreeContext(context);
    return nCode;
  }
  NWDSCCODE Change(const char* pszUser, const char* pszOld, const char* pszNew) {
    NWDSContextHandle context = Context();
    NWDSCCODE nCode = c.pfnLogin(context, 0, pszUser, pszOld, 0);
    if (nCode == 0 || nCode == NDS_ERR_PASSWORD_EXPIRED)
      nCode = c.pfnChangeObjectPassword(context, 1, pszUser, pszOld, pszNew);
    c.pfnLogout(context);
    c.pfnFreeContext(context);
    return nCode;
  }

  CNdsTree m_tree{true};
  vlttest::ScopedRegistryFile m_registry;
  const NdsClient& c = g_ndsClient;
};

}  // namespace

// Wrong and empty passwords, expiry, lockout and the policy's refusals are
// met through HTTP (NdsChange); what a request cannot reach is checked here.
TEST_F(NdsLibrary, ChangeChecksTheOldPasswordAgainAndNeedsALogin) {
  NWDSContextHandle context = Context();
  ASSERT_EQ(c.pfnLogin(context, 0, ".ab.sales.acme", kPassword, 0), 0);
  EXPECT_EQ(c.pfnChangeObjectPassword(context, 1, ".ab.sales.acme", "Wr0ng-Passw0rd", "New-Passw0rd"),
            NDS_ERR_FAILED_AUTHENTICATION);
  c.pfnFreeContext(context);
  // Without a login nothing changes.
  context = Context();
  EXPECT_EQ(c.pfnChangeObjectPassword(context, 1, ".ab.sales.acme", kPassword, "New-Passw0rd"),
            NDS_ERR_NOT_LOGGED_IN);
  c.pfnFreeContext(context);
  EXPECT_TRUE(m_tree.CanBind(SalesDn("ab"), kPassword));
}

TEST_F(NdsLibrary, ConnectionRulesAndContexts) {
  // Verified TLS with ldaps and StartTLS is met through HTTP (DirectoryChange,
  // the same connection code); here the library's own codes for it.
  const struct {
    std::string sUri;
    std::string sMore;
    NWDSCCODE nCode;
  } cases[] = {
      {m_tree.TlsUri(), "\"CACertificateFile\"=\"" + m_tree.OtherCaFile() + "\"\r\n",
       NDS_ERR_FAILED_SERVER_AUTHENT},
      {m_tree.Uri(), "\"StartTLS\"=dword:00000000\r\n", NDS_ERR_FAILED_SERVER_AUTHENT},  // no plain LDAP
  };
  for (const auto& test : cases) {
    m_registry.Use(m_tree.Registry(test.sMore, test.sUri));
    EXPECT_EQ(Login(".jsmith.sales.acme", kPassword), test.nCode) << test.sUri << " " << test.sMore;
  }
  // Unknown trees, keys and handles.
  NWDSContextHandle context = 0;
  ASSERT_EQ(c.pfnCreateContextHandle(&context), 0);
  for (const char* pszTree : {"OTHER", "", "ACME\\..", "a-tree-name-longer-than-32-characters"})
    EXPECT_EQ(c.pfnSetContext(context, DCK_TREE_NAME, pszTree), NDS_ERR_NO_SUCH_TREE) << pszTree;
  EXPECT_EQ(c.pfnLogin(context, 0, ".jsmith.sales.acme", kPassword, 0), NDS_ERR_BAD_CONTEXT);
  EXPECT_EQ(c.pfnSetContext(context, 1, "x"), NDS_ERR_BAD_KEY);
  EXPECT_EQ(c.pfnFreeContext(context), 0);
  EXPECT_EQ(c.pfnFreeContext(context), NDS_ERR_BAD_CONTEXT);
  EXPECT_EQ(c.pfnSetContext(0, DCK_TREE_NAME, "ACME"), NDS_ERR_BAD_CONTEXT);
}

// A relative group name against the name context, searched into a result
// buffer too small for one of its members: a code, and the iteration ends.
// (Members over several buffers: the NDS group resolver's tests.) Other
// buffers refuse what does not fit.
TEST_F(NdsLibrary, BuffersRefuseWhatDoesNotFit) {
  NWDSContextHandle context = Context();
  ASSERT_EQ(c.pfnSetContext(context, DCK_NAME_CONTEXT, "groups.acme"), 0);
  ASSERT_EQ(c.pfnLogin(context, 0, ".jsmith.sales.acme", kPassword, 0), 0);
  pBuf_T pFilter = nullptr, pResult = nullptr;
  pFilter_Cursor_T pCursor = nullptr;
  uint32_t nSyntax = 0;
  ASSERT_FALSE(c.pfnAllocBuf(NDS_DEFAULT_MESSAGE_LEN, &pFilter) ||
               c.pfnInitBuf(context, DSV_SEARCH_FILTER, pFilter) || c.pfnAllocFilter(&pCursor) ||
               c.pfnGetSyntaxID(context, "Group Membership", &nSyntax) ||
               c.pfnAddFilterToken(pCursor, FTOK_ANAME, "Group Membership", nSyntax) ||
               c.pfnAddFilterToken(pCursor, FTOK_EQ, nullptr, 0) ||
               c.pfnAddFilterToken(pCursor, FTOK_AVAL, "staff", nSyntax) ||
               c.pfnPutFilter(context, pFilter, pCursor, nullptr) || c.pfnAllocBuf(16, &pResult));
  int32_t iIteration = NO_MORE_ITERATIONS;
  EXPECT_EQ(c.pfnSearch(context, "[Root]", DS_SEARCH_SUBTREE, 0, pFilter, DS_ATTRIBUTE_NAMES, 0, nullptr,
                        &iIteration, 0, nullptr, pResult),
            NDS_ERR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(iIteration, NO_MORE_ITERATIONS);
  uint32_t cObjects = 0;
  EXPECT_EQ(c.pfnGetObjectCount(context, pResult, &cObjects), NDS_ERR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(c.pfnFreeBuf(pFilter) | c.pfnFreeBuf(pResult), 0);

  // Attribute names and filters that do not fit.
  pBuf_T pBuf = nullptr;
  ASSERT_EQ(c.pfnAllocBuf(8, &pBuf), 0);
  ASSERT_EQ(c.pfnInitBuf(context, DSV_SEARCH, pBuf), 0);
  EXPECT_EQ(c.pfnPutAttrName(context, pBuf, "CN"), 0);
  EXPECT_EQ(c.pfnPutAttrName(context, pBuf, "Object Class"), NDS_ERR_BUFFER_FULL);
  EXPECT_EQ(c.pfnInitBuf(context, DSV_SEARCH_FILTER, pBuf), 0);
  ASSERT_EQ(c.pfnAllocFilter(&pCursor), 0);
  c.pfnAddFilterToken(pCursor, FTOK_ANAME, "Member", SYN_DIST_NAME);
  c.pfnAddFilterToken(pCursor, FTOK_EQ, nullptr, 0);
  EXPECT_EQ(c.pfnPutFilter(context, pBuf, pCursor, nullptr), NDS_ERR_INVALID_FILTER_SYNTAX);
  c.pfnAddFilterToken(pCursor, FTOK_AVAL, ".staff.groups.acme", SYN_DIST_NAME);
  EXPECT_EQ(c.pfnPutFilter(context, pBuf, pCursor, nullptr), NDS_ERR_BUFFER_FULL);
  EXPECT_EQ(c.pfnFreeFilter(pCursor, nullptr), 0);
  EXPECT_EQ(c.pfnFreeFilter(pCursor, nullptr), NDS_ERR_INVALID_HANDLE);
  EXPECT_EQ(c.pfnGetObjectCount(context, pBuf, &cObjects), NDS_ERR_BAD_VERB);
  EXPECT_EQ(c.pfnFreeBuf(pBuf), 0);
  EXPECT_EQ(c.pfnFreeBuf(pBuf), NDS_ERR_INVALID_HANDLE);
  c.pfnFreeContext(context);
}

TEST_F(NdsLibrary, ConcurrentChangesOnContextsOfTheirOwn) {
  std::vector<std::thread> rgThreads;
  std::vector<NWDSCCODE> rgnCodes(8, -1);
  for (int i = 0; i < 8; ++i) {
    rgThreads.emplace_back([&, i] {
      std::string sUser = ".m" + std::to_string(i + 1) + ".many.acme";
      rgnCodes[i] = Change(sUser.c_str(), kPassword, "Thread-Passw0rd");
      if (rgnCodes[i] == 0) rgnCodes[i] = Change(sUser.c_str(), "Thread-Passw0rd", "Second-Passw0rd");
    });
  }
  for (std::thread& thread : rgThreads) thread.join();
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(rgnCodes[i], 0) << i;
    EXPECT_TRUE(m_tree.CanBind("cn=m" + std::to_string(i + 1) + ",ou=many,o=acme,dc=tree,dc=test", "Second-Passw0rd"));
  }
}
