// NDS groups through the NDS client library, against slapd holding a tree
// (tests/nds/nds_tree.sh). "Group Membership" reads seeAlso here, kept on
// every member by hand, so that groups can be members too (the fixture's
// computed memberOf lists none). Skipped when slapd is not installed.
#include <algorithm>

#include "fixture_support.h"
#include "group_test_env.h"

namespace {

const char kGroups[] = "ou=groups,o=acme,dc=tree,dc=test";

class NdsGroupsTest : public GroupTest {
 protected:
  void SetUp() override {
    GroupTest::SetUp();
    VLT_START_OR_SKIP(m_tree, "slapd");
    // outer holds staff; staff holds outer, jsmith, ajones and a printer (an
    // organizationalRole, neither user nor group).
    std::string sStaff = std::string("cn=staff,") + kGroups, sOuter = std::string("cn=outer,") + kGroups;
    std::string sLdif = "dn: " + sOuter + "\nchangetype: add\nobjectClass: groupOfNames\ncn: outer\nmember: " + sStaff +
                        "\nseeAlso: " + sStaff + "\n\n" +
                        "dn: cn=printer,ou=sales,o=acme,dc=tree,dc=test\nchangetype: add\nobjectClass: "
                        "organizationalRole\ncn: printer\nseeAlso: " + sStaff + "\n\n";
    for (const char* psz : {"cn=staff,ou=groups", "cn=jsmith,ou=sales", "cn=ajones,ou=sales"})
      sLdif += std::string("dn: ") + psz + ",o=acme,dc=tree,dc=test\nchangetype: modify\nadd: seeAlso\nseeAlso: " +
               (std::string(psz) == "cn=staff,ou=groups" ? sOuter : sStaff) + "\n\n";
    ASSERT_EQ(vlttest::RunTestScript("nds/nds_tree.sh", "ldif " + m_tree.Dir() + " <<'EOF'\n" + sLdif + "EOF"), 0);
    UseTree(vlttest::RegString("GroupMembershipAttribute", "seeAlso"));
  }
  void UseTree(const std::string& sMore) {
    UseRegistry(vlttest::VeltraKey("NDS\\Trees\\ACME",
                                   vlttest::RegString("Servers", "ldap://127.0.0.1:" + std::to_string(m_tree.Port(0)) + "/") +
                                       vlttest::RegString("RootDN", "dc=tree,dc=test") +
                                       vlttest::RegDword("AllowPlainLoopback", 1) + sMore));
  }
  static std::string Credentials(const std::string& sPassword) {
    return "<Credentials><UserName>.jsmith.sales.acme</UserName><Domain type=\"NDS\">ACME</Domain><Password>" +
           sPassword + "</Password></Credentials>";
  }
  // The answer's lines with each group's members in name order.
  static std::vector<std::string> Sorted(std::vector<std::string> rgsLines) {
    auto itStart = rgsLines.begin();
    for (auto it = rgsLines.begin(); it != rgsLines.end(); ++it) {
      if (it->rfind("Group ", 0) != 0) continue;
      std::sort(itStart, it);
      itStart = it + 1;
    }
    std::sort(itStart, rgsLines.end());
    return rgsLines;
  }

  vlttest::CScriptedServer m_tree{"nds/nds_tree.sh", 1};
};

}  // namespace

TEST_F(NdsGroupsTest, ListsUsersAndNestedGroupsOfTheTree) {
  std::string sOuter = Group(".outer.groups.acme", "ACME", "NDS");
  EXPECT_EQ(Sorted(Listed("<Scope traverse=\"subtree\"/>" + sOuter + Credentials("Passw0rd!"))),
            (std::vector<std::string>{"Group ACME\\.outer.groups.acme NDS", "group ACME\\.staff.groups.acme",
                                      "Group ACME\\.staff.groups.acme NDS", "group ACME\\.outer.groups.acme",
                                      "user ACME\\.ajones.sales.acme", "user ACME\\.jsmith.sales.acme"}));
  EXPECT_EQ(Listed(sOuter + Credentials("Passw0rd!")),
            (std::vector<std::string>{"Group ACME\\.outer.groups.acme NDS", "group ACME\\.staff.groups.acme"}));
  // Without credentials, or with wrong ones, every NDS group answers the
  // failed login.
  for (const std::string& sCredentials : {std::string(), Credentials("Wrong!pw")})
    EXPECT_EQ(Listed(sOuter + Group(".staff.groups.acme", "ACME", "NDS") + sCredentials),
              (std::vector<std::string>{"Group ACME\\.staff.groups.acme NDS", "error nds-login-failed",
                                        "Group ACME\\.outer.groups.acme NDS", "error nds-login-failed"}));
}

// A group whose members take several result buffers comes back whole (read
// through the fixture's computed memberOf).
TEST_F(NdsGroupsTest, ListsEveryMemberOfALargeGroup) {
  UseTree("");
  std::vector<std::string> rgsExpected{"Group ACME\\.big.groups.acme NDS"};
  for (int i = 1; i <= 300; ++i) rgsExpected.push_back("user ACME\\.m" + std::to_string(i) + ".many.acme");
  EXPECT_EQ(Sorted(Listed(Group(".big.groups.acme", "ACME", "NDS") + Credentials("Passw0rd!"))), Sorted(rgsExpected));
  // The next search takes the membership attribute's name from the schema
  // read for the first.
  EXPECT_EQ(Sorted(Listed(Group(".staff.groups.acme", "ACME", "NDS") + Credentials("Passw0rd!"))),
            (std::vector<std::string>{"Group ACME\\.staff.groups.acme NDS", "user ACME\\.ajones.sales.acme",
                                      "user ACME\\.jsmith.sales.acme"}));
}
