// Groups of the embedded account store, resolved through the network
// management functions and, with the directory services loaded, through
// their WinNT provider; and vltadmin-groups over the same store.
#include <stdlib.h>

#include <fstream>

#include "account_test_support.h"
#include "fixture_support.h"
#include "group_test_env.h"
#include "platform/netapi/netapi.h"

namespace {

class LocalGroupsTest : public GroupTest {
 protected:
  void SetUp() override {
    GroupTest::SetUp();
    m_sStore = m_registry.Directory() + "/accounts.db";
    auto pStore = accounttest::MakeStore(
        m_sStore, {{"alice", "Passw0rd!x"}, {"bob", "Passw0rd!x"}, {"carol", "Passw0rd!x"}, {"host$", "Passw0rd!x"}});
    ASSERT_TRUE(pStore);
    ASSERT_EQ(pStore->AddGroup("Staff", false), 0u);
    ASSERT_EQ(pStore->AddGroup("Admins", true), 0u);
    ASSERT_EQ(pStore->AddGroup("Empty", false), 0u);
    for (const char* psz : {"bob", "host$"}) ASSERT_EQ(pStore->AddGroupMember("Staff", {"", psz, false}), 0u);
    ASSERT_EQ(pStore->AddGroupMember("Admins", {"", "alice", false}), 0u);
    ASSERT_EQ(pStore->AddGroupMember("Admins", {"", "staff", false}), 0u);  // the store's spelling is kept
    ASSERT_EQ(pStore->AddGroupMember("Admins", {"OTHER", "dave", false}), 0u);
    ASSERT_EQ(pStore->AddGroupMember("Staff", {"", "Admins", false}), static_cast<DWORD>(ERROR_INVALID_MEMBER));
    UseRegistry(Domain());
  }
  std::string Domain() const { return vlttest::LocalDomain("DEMO", m_sStore); }
  std::string m_sStore;
};

}  // namespace

TEST_F(LocalGroupsTest, ListsLocalAndDomainGroupsFollowingNestedOnesWithSubtree) {
  const std::vector<std::string> rgsSubtree = {
      "Group DEMO\\Admins NT", "user DEMO\\alice", "group DEMO\\Staff", "user OTHER\\dave",
      "Group DEMO\\Staff NT",  "user DEMO\\bob"};  // host$ is a machine account
  for (bool fAdsi : {false, true}) {
    // The directory services loaded (the build's own library), no directory
    // configured: NT groups go to the WinNT provider.
    UseRegistry(Domain() + (fAdsi ? vlttest::AdsiVersion() + vlttest::AdsiClass() : ""));
    std::vector<std::string> rgsLines = Listed("<Scope traverse=\"subtree\"/>" + Group("Admins", "DEMO"));
    // The directory services list a group's users before its groups.
    std::vector<std::string> rgsExpected = rgsSubtree;
    if (fAdsi) std::swap(rgsExpected[2], rgsExpected[3]);
    EXPECT_EQ(rgsLines, rgsExpected) << (fAdsi ? "WinNT provider" : "network management");
    EXPECT_EQ(Listed(Group("Admins", "DEMO")),
              std::vector<std::string>(rgsExpected.begin(), rgsExpected.begin() + 4));
    EXPECT_EQ(Listed(Group("nobody", "DEMO") + Group("Staff", "NOSUCH")),
              (std::vector<std::string>{"Group NOSUCH\\Staff NT", "error not-found", "Group DEMO\\nobody NT",
                                        "error not-found"}));
  }
}

TEST_F(LocalGroupsTest, AnswersGroupsLastFirstAndOnlyNtOnes) {
  // Two requested groups come back in reverse order; a group of type 0 or 3
  // gets no element; a group requested twice is answered once.
  EXPECT_EQ(Listed(Group("Staff", "DEMO") + Group("Empty", "DEMO") + Group("Staff", "DEMO", "Unix") +
                   Group("Staff", "DEMO", "nt") + Group("Staff", "DEMO")),
            (std::vector<std::string>{"Group DEMO\\Empty NT", "Group DEMO\\Staff NT", "user DEMO\\bob"}));
}

TEST_F(LocalGroupsTest, HiddenAccessListsAnswerNoPermission) {
  UseRegistry(Domain(), false);
  CGroupAnswer answer = Answer(Request(Group("Staff", "DEMO")));
  EXPECT_EQ(Lines(answer.sBody), std::vector<std::string>{"error no-permission"});
  EXPECT_NE(answer.sBody.find("<ResponseGroup>"), std::string::npos);
}

TEST_F(LocalGroupsTest, ToolPrintsTheDocumentOrItsTree) {
  std::string sRegistry = m_registry.Path();
  std::string sTool = std::string(getenv("VLT_BUILD_BIN")) + "/vltadmin-groups --registry " + sRegistry;
  const auto run = vlttest::RunCommand;
  int nStatus = -1;
  EXPECT_EQ(run(sTool + " --domain DEMO --subtree --group Admins --format text", &nStatus),
            "group DEMO\\Admins (NT)\n  user DEMO\\alice\n  group DEMO\\Staff\n    user DEMO\\bob\n"
            "  user OTHER\\dave\n");
  EXPECT_EQ(nStatus, 0);
  const std::string sDoc = m_registry.Directory() + "/request.xml";
  std::ofstream(sDoc) << Request(Group("Staff", "DEMO"));
  std::string sOut = run(sTool + " " + sDoc, &nStatus);
  EXPECT_EQ(nStatus, 0);
  EXPECT_EQ(Lines(sOut), (std::vector<std::string>{"Group DEMO\\Staff NT", "user DEMO\\bob"}));
  EXPECT_EQ(sOut.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>", 0), 0u) << sOut;
  sOut = run("echo '" + Request("<GroupName>x</GroupName>") + "' | " + sTool + " --format text", &nStatus);
  EXPECT_EQ(nStatus, 2);
  EXPECT_EQ(sOut, "error bad-request\n");
  run("echo '<AdminProtocol/>' | " + sTool + " 2>/dev/null", &nStatus);
  EXPECT_EQ(nStatus, 2);
}
