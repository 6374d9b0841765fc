// Groups of a Samba Active Directory domain controller (the tests' shared
// fixture, tests/support/samba_dc.sh), resolved through the directory
// services (LDAP) and through the network management functions (the
// Kerberos domain answering through its directory). One test: provisioning
// takes long. Skipped when Samba is not installed.

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "fixture_support.h"
#include "group_test_env.h"

namespace {

class SambaGroupsTest : public GroupTest {
 protected:
  void SetUp() override {
    GroupTest::SetUp();
    VLT_START_OR_SKIP(m_dc, "Samba");
    std::string sAccounts = m_dc.Dir() + "/accounts.txt";
    // Big: more members than one page; Staff > SubA > SubB > Staff again.
    std::ofstream(sAccounts) << "users m 1100\ngroup Big\nmembers Big m 1 1100\ngroup Staff alice SubA\n"
                                "group SubA bob SubB\ngroup SubB carol Staff\ngroup Machines alice DC1$\n";
    ASSERT_EQ(std::system(("/usr/bin/python3 " + std::string(getenv("VLT_SOURCE_DIR")) +
                           "/tests/support/samba_accounts.py " + m_dc.Dir() + " < " + sAccounts)
                              .c_str()),
              0);
    vlttest::WriteSecret(m_dc.Dir() + "/right.secret", "Adm1n!Passw0rd");
    vlttest::WriteSecret(m_dc.Dir() + "/wrong.secret", "Wrong!Passw0rd");
  }
  // The directory with a bind password file, the Kerberos domain EXAMPLE,
  // and the directory services loaded or not.
  void Configure(bool fAdsi, const std::string& sSecret = "right.secret", bool fDirectory = true) {
    using namespace vlttest;
    UseRegistry(VeltraKey("Accounts\\Domains\\EXAMPLE", RegString("Provider", "kerberos") + RegString("Realm", "EXAMPLE.TEST")) +
                (fDirectory ? DirectoryServices("ldaps://127.0.0.1/",
                                                BindIdentity("Administrator@example.test", m_dc.Dir() + "/" + sSecret),
                                                m_dc.Dir() + "/tls/ca.pem")
                            : AdsiClass()) +
                (fAdsi ? AdsiVersion() : ""));
  }
  std::vector<std::string> Resolve(const std::string& sGroup, bool fSubtree = false) {
    return Listed((fSubtree ? "<Scope traverse=\"subtree\"/>" : "") + Group(sGroup, "EXAMPLE"));
  }
  static size_t Users(const std::vector<std::string>& rgsLines) {
    return static_cast<size_t>(std::count_if(rgsLines.begin(), rgsLines.end(),
                                             [](const std::string& s) { return s.rfind("user ", 0) == 0; }));
  }
  static bool Has(const std::vector<std::string>& rgsLines, const std::string& s) {
    return std::find(rgsLines.begin(), rgsLines.end(), s) != rgsLines.end();
  }

  vlttest::CScriptedServer m_dc{"support/samba_dc.sh", 2};
};

}  // namespace

TEST_F(SambaGroupsTest, ResolvesThroughTheDirectoryAndThroughNetworkManagement) {
  Configure(true);
  // Nested groups: each resolved once, the one that holds itself too.
  EXPECT_EQ(Resolve("Staff", true),
            (std::vector<std::string>{"Group EXAMPLE\\Staff NT", "user EXAMPLE\\alice", "group EXAMPLE\\SubA",
                                      "Group EXAMPLE\\SubA NT", "user EXAMPLE\\bob", "group EXAMPLE\\SubB",
                                      "Group EXAMPLE\\SubB NT", "user EXAMPLE\\carol", "group EXAMPLE\\Staff"}));
  EXPECT_EQ(Resolve("Staff"), (std::vector<std::string>{"Group EXAMPLE\\Staff NT", "user EXAMPLE\\alice",
                                                        "group EXAMPLE\\SubA"}));
  EXPECT_EQ(Users(Resolve("Big")), 1100u);
  // Its users are members by their primary group only; more than a page.
  std::vector<std::string> rgsDomainUsers = Resolve("Domain Users");
  EXPECT_GT(Users(rgsDomainUsers), 1100u);
  EXPECT_TRUE(Has(rgsDomainUsers, "user EXAMPLE\\m1100"));
  EXPECT_EQ(Resolve("Machines"), (std::vector<std::string>{"Group EXAMPLE\\Machines NT", "user EXAMPLE\\alice"}));
  EXPECT_EQ(Resolve("nosuch"), (std::vector<std::string>{"Group EXAMPLE\\nosuch NT", "error not-found"}));
  Configure(true, "wrong.secret");
  EXPECT_EQ(Resolve("Staff"), (std::vector<std::string>{"Group EXAMPLE\\Staff NT", "error no-permission"}));

  // The same domain through the network management functions: a domain
  // group's users, its primary-group users among them; no nesting.
  Configure(false);
  EXPECT_EQ(Resolve("Staff", true), (std::vector<std::string>{"Group EXAMPLE\\Staff NT", "user EXAMPLE\\alice"}));
  EXPECT_GT(Users(Resolve("Domain Users")), 1100u);
  EXPECT_EQ(Resolve("Machines"), (std::vector<std::string>{"Group EXAMPLE\\Machines NT", "user EXAMPLE\\alice"}));
  EXPECT_EQ(Resolve("nosuch"), (std::vector<std::string>{"Group EXAMPLE\\nosuch NT", "error not-found"}));
  Configure(false, "wrong.secret");
  EXPECT_EQ(Resolve("Staff"), (std::vector<std::string>{"Group EXAMPLE\\Staff NT", "error no-permission"}));
  Configure(false, "right.secret", false);
  EXPECT_EQ(Resolve("Staff"), (std::vector<std::string>{"Group EXAMPLE\\Staff NT", "error not-found"}));
}
