// Password changes of type NT through vltadmin-host, against a local store.
#include "account_test_support.h"
#include "host_with_extension.h"

namespace {

class LocalStoreOverHttp : public HostWithExtension {
 protected:
  void SetUp() override {
    platform::CAccountPolicy policy{8, true, 3, 0, 5};
    ASSERT_TRUE(accounttest::MakeStore(m_dir.Path("demo.db"), policy, {{"alice", "Alice-Pass-1"}}));
    policy.nMinAgeSeconds = 86400;
    ASSERT_TRUE(accounttest::MakeStore(m_dir.Path("slow.db"), policy, {{"bob", "Bob-Pass-1"}}));
    StartHost(accounttest::LocalDomain("DEMO", m_dir.Path("demo.db")) +
              accounttest::LocalDomain("SLOW", m_dir.Path("slow.db")));
  }
  std::string Change(const std::string& domain, const std::string& user, const std::string& oldPassword,
                     const std::string& newPassword) {
    return Answer(ChangeRequest(user, oldPassword, newPassword, "NT", domain));
  }
  vlttest::CScratchDir m_dir;
};

}  // namespace

TEST_F(LocalStoreOverHttp, ChangesAndRefusals) {
  EXPECT_EQ(Change("DEMO", "alice", "wrong", "Alice-Pass-2"), "old-password-invalid");
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-1", "Ab-1"), "new-password-invalid") << "too short";
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-1", "alllowercase"), "new-password-invalid") << "not complex";
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-1", "Alice-Pass-1"), "new-password-invalid") << "in history";
  EXPECT_EQ(Change("SLOW", "bob", "Bob-Pass-1", "Bob-Pass-2"), "new-password-invalid") << "too soon";
  EXPECT_EQ(Change("DEMO", "nobody", "Alice-Pass-1", "Alice-Pass-2"), "operation-failed") << "unknown user";
  EXPECT_EQ(Change("NOWHERE", "alice", "Alice-Pass-1", "Alice-Pass-2"), "operation-failed") << "unknown domain";
  EXPECT_EQ(Change("\\\\server", "alice", "Alice-Pass-1", "Alice-Pass-2"), "operation-failed");
  // None of these changed anything; then the new password is the one that works.
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-1", "Alice-Pass-2"), "");
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-1", "Alice-Pass-3"), "old-password-invalid");
  EXPECT_EQ(Change("demo", "alice", "Alice-Pass-2", "Alice-Pass-3"), "");
  // Five wrong passwords in a row lock the account.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Change("DEMO", "alice", "wrong", "Alice-Pass-4"), "old-password-invalid");
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-3", "Alice-Pass-4"), "operation-failed") << "locked";
}
