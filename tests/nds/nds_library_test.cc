// The NDS client library in-process, loaded as the extension loads it,
// against the tree's slapd: the completion codes of login and change, the
// connection rules, and group searches read the way group resolution reads
// them.
#include <gtest/gtest.h>

#include <map>
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
    START_TREE(m_tree);
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

  // The members of a group as group resolution reads them: name and the
  // first "Object Class" value that is "User" or "Group"; *pcBuffers counts
  // the result buffers the search took.
  std::map<std::string, std::string> Members(NWDSContextHandle context, const char* pszGroup,
                                             size_t cbResult, NWDSCCODE* pnCode, int* pcBuffers) {
    std::map<std::string, std::string> members;
    auto ok = [](NWDSCCODE nCode) {
      EXPECT_EQ(nCode, 0);
      return nCode == 0;
    };
    pBuf_T pFilter = nullptr, pAttrs = nullptr, pResult = nullptr;
    pFilter_Cursor_T pCursor = nullptr;
    uint32_t nSyntax = 0;
    // Each step runs only when the one before succeeded.
    EXPECT_FALSE(c.pfnAllocBuf(NDS_DEFAULT_MESSAGE_LEN, &pFilter) ||
                 c.pfnInitBuf(context, DSV_SEARCH_FILTER, pFilter) || c.pfnAllocFilter(&pCursor) ||
                 c.pfnGetSyntaxID(context, "Group Membership", &nSyntax) ||
                 c.pfnAddFilterToken(pCursor, FTOK_ANAME, "Group Membership", nSyntax) ||
                 c.pfnAddFilterToken(pCursor, FTOK_EQ, nullptr, 0) ||
                 c.pfnAddFilterToken(pCursor, FTOK_AVAL, pszGroup, nSyntax) ||
                 c.pfnPutFilter(context, pFilter, pCursor, nullptr) ||
                 c.pfnAllocBuf(NDS_DEFAULT_MESSAGE_LEN, &pAttrs) || c.pfnInitBuf(context, DSV_SEARCH, pAttrs) ||
                 c.pfnPutAttrName(context, pAttrs, "Object Class") || c.pfnAllocBuf(cbResult, &pResult));
    int32_t iIteration = NO_MORE_ITERATIONS;
    *pnCode = 0;
    *pcBuffers = 0;
    do {
      c.pfnSearch(context, "[Root]", DS_SEARCH_SUBTREE, 0, pFilter, DS_ATTRIBUTE_VALUES, 0, pAttrs, &iIteration,
                  0, nullptr, pResult);
      ++*pcBuffers;
      uint32_t cObjects = 0, cAttrs = 0, cValues = 0, nValueSyntax = 0, cb = 0;
      if ((*pnCode = c.pfnGetObjectCount(context, pResult, &cObjects)) != 0) break;
      for (uint32_t i = 0; i < cObjects; ++i) {
        char szName[MAX_DN_BYTES], szAttr[MAX_SCHEMA_NAME_BYTES];
        if (!ok(c.pfnGetObjectName(context, pResult, szName, &cAttrs, nullptr))) return members;
        std::string& sClass = members[szName];
        for (uint32_t j = 0; j < cAttrs; ++j) {
          if (!ok(c.pfnGetAttrName(context, pResult, szAttr, &cValues, &nValueSyntax))) return members;
          for (uint32_t k = 0; k < cValues; ++k) {
            if (!ok(c.pfnComputeAttrValSize(context, pResult, nValueSyntax, &cb))) return members;
            std::string sValue(cb, '\0');
            if (!ok(c.pfnGetAttrVal(context, pResult, nValueSyntax, sValue.data()))) return members;
            sValue.resize(cb - 1);
            if (sClass.empty() && (sValue == "User" || sValue == "Group")) sClass = sValue;
          }
        }
      }
    } while (iIteration != NO_MORE_ITERATIONS);
    EXPECT_EQ(c.pfnFreeBuf(pFilter) | c.pfnFreeBuf(pAttrs) | c.pfnFreeBuf(pResult), 0);
    return members;
  }

  CNdsTree m_tree{true};
  vlttest::ScopedRegistryFile m_registry;
  const NdsClient& c = g_ndsClient;
};

}  // namespace

TEST_F(NdsLibrary, LoginCodes) {
  const struct {
    const char* pszUser;
    const char* pszPassword;
    NWDSCCODE nCode;
  } cases[] = {
      {".jsmith.sales.acme", kPassword, 0},
      {".CN=jsmith.OU=sales.O=acme", kPassword, 0},
      {".jsmith.sales.acme", "Wr0ng-Passw0rd", NDS_ERR_FAILED_AUTHENTICATION},
      {".jsmith.sales.acme", "", NDS_ERR_FAILED_AUTHENTICATION},  // never an anonymous bind
      {".nobody.sales.acme", kPassword, NDS_ERR_FAILED_AUTHENTICATION},
      {".reset.sales.acme", kPassword, NDS_ERR_PASSWORD_EXPIRED},
      {".grace.sales.acme", kPassword, NDS_ERR_PASSWORD_EXPIRED},
      {".expired.sales.acme", kPassword, NDS_ERR_PASSWORD_EXPIRED_NO_GRACE},
      {"..acme", kPassword, NDS_ERR_INVALID_DS_NAME},
  };
  for (const auto& test : cases) EXPECT_EQ(Login(test.pszUser, test.pszPassword), test.nCode) << test.pszUser;
  // Three wrong passwords lock the account; then the right one is refused.
  for (int i = 0; i < 3; ++i) Login(".ajones.sales.acme", "Wr0ng-Passw0rd");
  EXPECT_EQ(Login(".ajones.sales.acme", kPassword), NDS_ERR_ACCOUNT_LOCKED);
}

TEST_F(NdsLibrary, ChangeCodes) {
  EXPECT_EQ(Change(".jsmith.sales.acme", kPassword, "short"), NDS_ERR_PASSWORD_TOO_SHORT);
  EXPECT_EQ(Change(".jsmith.sales.acme", kPassword, "First-Passw0rd"), 0);
  EXPECT_EQ(Change(".jsmith.sales.acme", "First-Passw0rd", kPassword), NDS_ERR_DUPLICATE_PASSWORD);
  EXPECT_EQ(Change(".young.sales.acme", kPassword, "First-Passw0rd"), 0);
  EXPECT_EQ(Change(".young.sales.acme", "First-Passw0rd", "Second-Passw0rd"), NDS_ERR_PASSWORD_TOO_YOUNG);
  // The old password given to the change is checked again.
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
  std::string sUnused = "ldap://127.0.0.1:" + std::to_string(m_tree.UnusedPort()) + "/";
  const struct {
    std::string sUri;
    std::string sMore;
    NWDSCCODE nCode;
  } cases[] = {
      {m_tree.TlsUri(), "\"CACertificateFile\"=\"" + m_tree.CaFile() + "\"\r\n", 0},
      {m_tree.Uri(), "\"CACertificateFile\"=\"" + m_tree.CaFile() + "\"\r\n", 0},  // StartTLS
      {m_tree.TlsUri(), "\"CACertificateFile\"=\"" + m_tree.OtherCaFile() + "\"\r\n",
       NDS_ERR_FAILED_SERVER_AUTHENT},
      {m_tree.Uri(), "\"CACertificateFile\"=\"" + m_tree.OtherCaFile() + "\"\r\n",
       NDS_ERR_FAILED_SERVER_AUTHENT},
      {m_tree.Uri(), "\"StartTLS\"=dword:00000000\r\n", NDS_ERR_FAILED_SERVER_AUTHENT},  // no plain LDAP
      {sUnused, "\"AllowPlainLoopback\"=dword:00000001\r\n", NDS_ERR_TRANSPORT_FAILURE},
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

TEST_F(NdsLibrary, GroupMembersComeBackWholeThroughTheIterationHandle) {
  NWDSContextHandle context = Context();
  ASSERT_EQ(c.pfnSetContext(context, DCK_NAME_CONTEXT, "[Root]"), 0);
  ASSERT_EQ(c.pfnLogin(context, 0, ".jsmith.sales.acme", kPassword, 0), 0);
  NWDSCCODE nCode = 0;
  int cBuffers = 0;
  std::map<std::string, std::string> members = Members(context, ".big.groups.acme", NDS_DEFAULT_MESSAGE_LEN,
                                                       &nCode, &cBuffers);
  EXPECT_EQ(nCode, 0);
  EXPECT_GT(cBuffers, 2);
  ASSERT_EQ(members.size(), 300u);
  for (int i = 1; i <= 300; ++i) EXPECT_EQ(members[".m" + std::to_string(i) + ".many.acme"], "User") << i;

  // A relative name against the name context.
  ASSERT_EQ(c.pfnSetContext(context, DCK_NAME_CONTEXT, "groups.acme"), 0);
  EXPECT_EQ(Members(context, "staff", NDS_DEFAULT_MESSAGE_LEN, &nCode, &cBuffers),
            (std::map<std::string, std::string>{{".ajones.sales.acme", "User"}, {".jsmith.sales.acme", "User"}}));
  // A result buffer too small for one object: a code, and no object.
  members = Members(context, ".staff.groups.acme", 16, &nCode, &cBuffers);
  EXPECT_EQ(nCode, NDS_ERR_INSUFFICIENT_BUFFER);
  EXPECT_TRUE(members.empty());
  EXPECT_EQ(cBuffers, 1);
  c.pfnFreeContext(context);
}

TEST_F(NdsLibrary, BuffersRefuseWhatDoesNotFit) {
  NWDSContextHandle context = Context();
  pBuf_T pBuf = nullptr;
  ASSERT_EQ(c.pfnAllocBuf(8, &pBuf), 0);
  ASSERT_EQ(c.pfnInitBuf(context, DSV_SEARCH, pBuf), 0);
  EXPECT_EQ(c.pfnPutAttrName(context, pBuf, "CN"), 0);
  EXPECT_EQ(c.pfnPutAttrName(context, pBuf, "Object Class"), NDS_ERR_BUFFER_FULL);
  EXPECT_EQ(c.pfnInitBuf(context, DSV_SEARCH_FILTER, pBuf), 0);
  pFilter_Cursor_T pCursor = nullptr;
  ASSERT_EQ(c.pfnAllocFilter(&pCursor), 0);
  c.pfnAddFilterToken(pCursor, FTOK_ANAME, "Member", SYN_DIST_NAME);
  c.pfnAddFilterToken(pCursor, FTOK_EQ, nullptr, 0);
  EXPECT_EQ(c.pfnPutFilter(context, pBuf, pCursor, nullptr), NDS_ERR_INVALID_FILTER_SYNTAX);
  c.pfnAddFilterToken(pCursor, FTOK_AVAL, ".staff.groups.acme", SYN_DIST_NAME);
  EXPECT_EQ(c.pfnPutFilter(context, pBuf, pCursor, nullptr), NDS_ERR_BUFFER_FULL);
  EXPECT_EQ(c.pfnFreeFilter(pCursor, nullptr), 0);
  EXPECT_EQ(c.pfnFreeFilter(pCursor, nullptr), NDS_ERR_INVALID_HANDLE);
  uint32_t cObjects = 0;
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
