// Password changes of type NT through vltadmin-host, against a local store.
#include <string>

#include "account_test_support.h"
#include "host_with_extension.h"

using accounttest::CScratchDir;
using accounttest::LocalDomain;
using accounttest::MakeStore;

namespace {

class LocalStoreOverHttp : public HostWithExtension {
 protected:
  void SetUp() override {
    platform::SAccountPolicy policy;
    policy.nMinLength = 8;
    policy.fComplexity = true;
    policy.nHistory = 3;
    policy.nMinAgeSeconds = 0;
    policy.nLockoutThreshold = 5;
    ASSERT_TRUE(MakeStore(m_dir.Path("demo.db"), policy, {{"alice", "Alice-Pass-1"}}));
    platform::SAccountPolicy slow = policy;
    slow.nMinAgeSeconds = 86400;
    ASSERT_TRUE(MakeStore(m_dir.Path("slow.db"), slow, {{"bob", "Bob-Pass-1"}}));
    StartHost(LocalDomain("DEMO", m_dir.Path("demo.db")) + LocalDomain("SLOW", m_dir.Path("slow.db")));
  }

  // The ErrorId of the response, "" for success.
  std::string Change(const std::string& domain, const std::string& user, const std::string& oldPassword,
                     const std::string& newPassword) {
    std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<AdminProtocol version=\"1.0\">"
                       "<RequestChangePassword><UserName>" + user + "</UserName><Domain type=\"NT\">" +
                       domain + "</Domain><OldPassword>" + oldPassword + "</OldPassword><NewPassword>" +
                       newPassword + "</NewPassword></RequestChangePassword></AdminProtocol>";
    CHttpResponse response = Exchange(Post(body));
    EXPECT_EQ(response.m_nStatus, 200);
    size_t at = response.m_body.find("<ErrorId>");
    if (at == std::string::npos) return "";
    at += 9;
    return response.m_body.substr(at, response.m_body.find("</ErrorId>") - at);
  }

  CScratchDir m_dir;
};

}  // namespace

TEST_F(LocalStoreOverHttp, SuccessThenTheNewPasswordWorks) {
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-1", "Alice-Pass-2"), "");
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-1", "Alice-Pass-3"), "old-password-invalid");
  EXPECT_EQ(Change("demo", "alice", "Alice-Pass-2", "Alice-Pass-3"), "");
}

TEST_F(LocalStoreOverHttp, RefusalsMapToTheirErrorIds) {
  EXPECT_EQ(Change("DEMO", "alice", "wrong", "Alice-Pass-2"), "old-password-invalid");
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-1", "Ab-1"), "new-password-invalid") << "too short";
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-1", "alllowercase"), "new-password-invalid") << "not complex";
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-1", "Alice-Pass-1"), "new-password-invalid") << "in history";
  EXPECT_EQ(Change("SLOW", "bob", "Bob-Pass-1", "Bob-Pass-2"), "new-password-invalid") << "too soon";
  EXPECT_EQ(Change("DEMO", "nobody", "Alice-Pass-1", "Alice-Pass-2"), "operation-failed") << "unknown user";
  EXPECT_EQ(Change("NOWHERE", "alice", "Alice-Pass-1", "Alice-Pass-2"), "operation-failed") << "unknown domain";
  EXPECT_EQ(Change("\\\\server", "alice", "Alice-Pass-1", "Alice-Pass-2"), "operation-failed");
  // None of these changed anything.
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-1", "Alice-Pass-2"), "");
}

TEST_F(LocalStoreOverHttp, LockedAccountFailsTheOperation) {
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Change("DEMO", "alice", "wrong", "Alice-Pass-2"), "old-password-invalid");
  EXPECT_EQ(Change("DEMO", "alice", "Alice-Pass-1", "Alice-Pass-2"), "operation-failed");
}
