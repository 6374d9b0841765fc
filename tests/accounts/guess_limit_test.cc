// Guessing limits through vltadmin-host against a local store: wrong old
// passwords per user and per address are counted, further attempts get
// "503 temporarily overloaded" without reaching the store, and the access
// log says why.
#include <thread>

#include "account_test_support.h"
#include "host_test.h"

namespace {

class GuessLimitOverHttp : public HostWithExtension {
 protected:
  // Users alice, bob and carol; the limits as registry values.
  void StartWithLimits(int nPerUser, int nPerAddress, int nWindowSeconds) {
    ASSERT_TRUE(accounttest::MakeStore(m_dir.Path("demo.db"), {{"alice", "Alice-1"}, {"bob", "Bob-1"}, {"carol", "Carol-1"}}));
    using namespace vlttest;
    StartHost(VeltraKey("XML Service", RegDword("FailuresPerUser", nPerUser) + RegDword("FailuresPerAddress", nPerAddress) +
                                           RegDword("FailureWindow", nWindowSeconds)) +
                  LocalDomain("DEMO", m_dir.Path("demo.db")),
              {"--access-log", m_dir.Path("access.log")});
  }
  std::string Change(const std::string& user, const std::string& oldPassword,
                     const std::string& newPassword = "Changed-1") {
    return Outcome(ChangeRequest(user, oldPassword, newPassword, "NT", "DEMO"));
  }
  uint32_t BadCount(const char* pszUser) {
    std::string error;
    auto pStore = platform::CAccountStore::Open(m_dir.Path("demo.db"), error);
    platform::CAccountInfo info;
    return pStore && pStore->GetUser(pszUser, info) ? info.nBadCount : 999;
  }
  vlttest::CScratchDir m_dir;
};

const char kThrottled[] = "HTTP/1.1 503 temporarily overloaded";

TEST_F(GuessLimitOverHttp, PerUserFailuresThrottleThatUserOnly) {
  StartWithLimits(3, 0, 2);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Change("alice", "wrong"), "old-password-invalid");
  EXPECT_EQ(Change("ALICE", "Alice-1"), kThrottled) << "even the right password, in any case";
  EXPECT_EQ(Change("alice", "wrong"), kThrottled);
  EXPECT_EQ(BadCount("alice"), 3u) << "throttled attempts never reach the store";
  // Other users, and a user whose success clears the count, are unaffected.
  EXPECT_EQ(Change("bob", "Bob-1"), "");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Change("carol", "wrong"), "old-password-invalid");
  EXPECT_EQ(Change("carol", "Carol-1", "Carol-2"), "");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Change("carol", "wrong"), "old-password-invalid");
  EXPECT_EQ(Change("carol", "Carol-2", "Carol-3"), "");

  std::string log = vlttest::ReadFile(m_dir.Path("access.log"));
  EXPECT_NE(log.find(" 503 "), std::string::npos) << log;
  EXPECT_EQ(Occurrences(log, "throttled"), 2u) << log;

  // Once the window has passed, alice may try again.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  EXPECT_EQ(Change("alice", "Alice-1"), "");
}

TEST_F(GuessLimitOverHttp, PerAddressFailuresThrottleEveryUserOfTheAddress) {
  StartWithLimits(0, 4, 900);
  for (const char* pszUser : {"alice", "alice", "bob", "carol"})
    EXPECT_EQ(Change(pszUser, "wrong"), "old-password-invalid");
  EXPECT_EQ(Change("bob", "Bob-1"), kThrottled);
  EXPECT_EQ(BadCount("bob"), 1u);
}

// Parallel guesses cannot pass the limit: attempts under way count too.
TEST_F(GuessLimitOverHttp, ConcurrentGuessesStayWithinTheLimit) {
  StartWithLimits(3, 0, 900);
  std::vector<std::thread> threads;
  for (int i = 0; i < 24; ++i) threads.emplace_back([this] { Change("alice", "wrong"); });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(BadCount("alice"), 3u);
  EXPECT_EQ(Change("alice", "Alice-1"), kThrottled);
}

}  // namespace
