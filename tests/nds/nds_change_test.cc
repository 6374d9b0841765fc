// NDS password changes end to end: HTTP requests of type "NDS" to
// vltadmin-host, which loads the real NDS client library beside the
// platform library, against the tree's slapd.
#include <filesystem>
#include <string>
#include <vector>

#include "account_test_support.h"
#include "host_test.h"
#include "nds_tree_server.h"
#include "trace_capture.h"

namespace {

class NdsChange : public HostWithExtension {
 protected:
  void SetUp() override {
    m_fStandInNds = false;
    VLT_START_OR_SKIP(m_tree, "slapd");
  }
  std::string Change(const std::string& sUser, const std::string& sOld, const std::string& sNew,
                     const std::string& sTree = "ACME") {
    return Answer(ChangeRequest(sUser, sOld, sNew, "NDS", sTree));
  }
  CNdsTree m_tree;
};

}  // namespace

TEST_F(NdsChange, ChangesRefusalsAndNamesWithSpecialCharacters) {
  StartHost(NoGuessingLimits() + m_tree.Registry());  // the tree's own lockout is tested
  // Nobody has these names; "=" makes a component typeful, and a type has
  // to be an attribute name.
  const struct {
    const char* pszUser;
    const char* pszAnswer;
  } rgSpecial[] = {
      {".a*.sales.acme", "old-password-invalid"},
      {".*.sales.acme", "old-password-invalid"},
      {".a*b)(cn\\=*.sales.acme", "old-password-invalid"},
      {".jsmith\\,ou\\=sales.sales.acme", "old-password-invalid"},
      {".jsmith,ou=sales.sales.acme", "operation-failed"},
  };
  for (const auto& test : rgSpecial)
    EXPECT_EQ(Change(test.pszUser, kPassword, "N3w-Passw0rd"), test.pszAnswer) << test.pszUser;
  EXPECT_EQ(Change(".a*b.sales.acme", kPassword, "N3w-Passw0rd"), "");
  EXPECT_EQ(Change(".x,y.sales.acme", kPassword, "N3w-Passw0rd"), "");
  EXPECT_EQ(Change(".dot\\.ted.sales.acme", kPassword, "N3w-Passw0rd"), "");
  for (const char* pszCn : {"a*b", "x\\,y", "dot.ted"}) EXPECT_TRUE(m_tree.CanBind(SalesDn(pszCn), "N3w-Passw0rd"));
  for (const char* pszCn : {"ab", "jsmith", "ajones"}) EXPECT_TRUE(m_tree.CanBind(SalesDn(pszCn), kPassword));
  EXPECT_EQ(Change(".jsmith.sales.acme", kPassword, "N3w-Passw0rd"), "");
  EXPECT_TRUE(m_tree.CanBind(SalesDn("jsmith"), "N3w-Passw0rd"));
  EXPECT_FALSE(m_tree.CanBind(SalesDn("jsmith"), kPassword));
  const struct {
    const char* pszUser;
    const char* pszOld;
    const char* pszNew;
    const char* pszTree;
    const char* pszAnswer;
  } cases[] = {
      {".jsmith.sales.acme", "Wr0ng-Passw0rd", "Other-Passw0rd", "ACME", "old-password-invalid"},
      {".jsmith.sales.acme", "", "Other-Passw0rd", "ACME", "old-password-invalid"},  // never an anonymous bind
      {".jsmith.sales.acme", "N3w-Passw0rd", "short", "ACME", "new-password-invalid"},
      {".jsmith.sales.acme", "N3w-Passw0rd", kPassword, "ACME", "new-password-invalid"},  // in history
      {".young.sales.acme", kPassword, "N3w-Passw0rd", "ACME", ""},
      {".young.sales.acme", "N3w-Passw0rd", "Other-Passw0rd", "ACME", "operation-failed"},  // too young
      {".reset.sales.acme", kPassword, "N3w-Passw0rd", "ACME", ""},  // must change after a reset
      {".grace.sales.acme", kPassword, "N3w-Passw0rd", "ACME", ""},  // expired, grace logins left
      {".expired.sales.acme", kPassword, "N3w-Passw0rd", "ACME", "operation-failed"},
      {".jsmith.sales.acme", "N3w-Passw0rd", "Other-Passw0rd", "OTHER", "operation-failed"},
      {".ajones.sales.acme", "Wr0ng-Passw0rd", "N3w-Passw0rd", "ACME", "old-password-invalid"},
      {".ajones.sales.acme", "Wr0ng-Passw0rd", "N3w-Passw0rd", "ACME", "old-password-invalid"},
      {".ajones.sales.acme", "Wr0ng-Passw0rd", "N3w-Passw0rd", "ACME", "old-password-invalid"},
      {".ajones.sales.acme", kPassword, "N3w-Passw0rd", "ACME", "operation-failed"},  // locked
  };
  for (const auto& test : cases)
    EXPECT_EQ(Change(test.pszUser, test.pszOld, test.pszNew, test.pszTree), test.pszAnswer)
        << test.pszUser << " " << test.pszNew << " " << test.pszTree;
  EXPECT_TRUE(m_tree.CanBind(SalesDn("reset"), "N3w-Passw0rd"));
  EXPECT_TRUE(m_tree.CanBind(SalesDn("young"), "N3w-Passw0rd"));
}

TEST_F(NdsChange, LibraryInstalledLaterIsLoadedByTheNextChange) {
  // A host tree of its own, with the platform library but without the NDS
  // client library beside it.
  vlttest::CScratchDir tree;
  std::string sBin = CHostProcess::BinDir();
  for (const char* pszFile : {"vltadmin-host", "libvltadmin.so", "libvltplatform.so"})
    std::filesystem::copy_file(sBin + "/" + pszFile, tree.Path(pszFile));
  setenv("VLT_BUILD_BIN", tree.Dir().c_str(), 1);
  StartHost(m_tree.Registry());
  setenv("VLT_BUILD_BIN", sBin.c_str(), 1);
  EXPECT_EQ(Change(".jsmith.sales.acme", kPassword, "N3w-Passw0rd"), "operation-failed");
  std::filesystem::copy_file(sBin + "/libnetwin32.so", tree.Path("libnetwin32.so"));
  EXPECT_EQ(Change(".jsmith.sales.acme", kPassword, "N3w-Passw0rd"), "");
}

TEST_F(NdsChange, StoppedServerFailsUntilItIsBack) {
  StartHost(m_tree.Registry());
  EXPECT_EQ(Change(".jsmith.sales.acme", kPassword, "First-Passw0rd"), "");
  ASSERT_EQ(vlttest::RunTestScript("nds/nds_tree.sh", "stop " + m_tree.Dir()), 0);
  EXPECT_EQ(Change(".jsmith.sales.acme", "First-Passw0rd", "Second-Passw0rd"), "operation-failed");
  ASSERT_TRUE(m_tree.Restart());
  // The connection kept from before the stop is replaced.
  EXPECT_EQ(Change(".jsmith.sales.acme", "First-Passw0rd", "Second-Passw0rd"), "");
  // A server that takes the connection and never answers: the network
  // timeout ends the wait.
  ASSERT_TRUE(m_tree.Freeze());
  EXPECT_EQ(Change(".jsmith.sales.acme", "Second-Passw0rd", "Third-Passw0rd"), "operation-failed");
  ASSERT_TRUE(m_tree.Thaw());
  EXPECT_EQ(Change(".jsmith.sales.acme", "Second-Passw0rd", "Third-Passw0rd"), "");
  EXPECT_TRUE(m_tree.CanBind(SalesDn("jsmith"), "Third-Passw0rd"));
}

TEST_F(NdsChange, SyncedNtDomainFollowsAndItsFailureIsTraced) {
  vlttest::CScratchDir dir;
  auto pStore = accounttest::MakeStore(dir.Path("mirror.db"), {{"jsmith", kPassword}, {"ajones", "Different-Passw0rd"}});
  ASSERT_TRUE(pStore);
  vlttest::CTraceCapture capture;
  ASSERT_TRUE(capture.Started());
  m_host.SetEnv("VLTQTR_DEVICE", capture.SocketPath());
  StartHost(m_tree.Registry() + vlttest::LocalDomain("MIRROR", dir.Path("mirror.db")) +
            vlttest::VeltraKey("NDS", vlttest::RegString("SyncedDomainName", "MIRROR")));
  // A failed NDS change is not mirrored; a successful one is.
  EXPECT_EQ(Change(".jsmith.sales.acme", "Wr0ng-Passw0rd", "Other-Passw0rd"), "old-password-invalid");
  EXPECT_EQ(Change(".jsmith.sales.acme", kPassword, "N3w-Passw0rd"), "");
  // The store's ajones has another password: the mirrored change fails,
  // the NDS change stands.
  EXPECT_EQ(Change(".ajones.sales.acme", kPassword, "N3w-Passw0rd"), "");
  EXPECT_TRUE(m_tree.CanBind(SalesDn("ajones"), "N3w-Passw0rd"));
  EXPECT_EQ(pStore->ChangePassword("jsmith", "N3w-Passw0rd", "Third-Passw0rd"), 0u);
  EXPECT_EQ(pStore->ChangePassword("ajones", "Different-Passw0rd", "Third-Passw0rd"), 0u);

  std::vector<vlttest::CTraceRecord> records = capture.Stop();
  std::vector<std::u16string> rgsFailures;
  for (const auto& record : records) {
    if (vltqtr::FormatGuid(record.rgbMessageGuid) != "{617d6db3-696d-4e96-9b5a-f0089ced4513}" || record.nMessage != 10) continue;
    for (const auto& item : record.rgItems)
      rgsFailures.emplace_back(reinterpret_cast<const char16_t*>(item.data()), item.size() / 2 - 1);
  }
  EXPECT_EQ(rgsFailures, (std::vector<std::u16string>{u"MIRROR", u"ajones", u"old-password-invalid"}));
  vlttest::ExpectNoPasswordIn({u"Passw0rd!", u"N3w-Passw0rd", u"Different-Passw0rd", u"Wr0ng-Passw0rd", u"Other-Passw0rd"},
                              records, m_host.Stderr());
}
