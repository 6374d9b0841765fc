// Faults around vltadmin-host with the real extension and a local store:
// clients that vanish in the middle of a request or before its answer, and
// the host killed in the middle of concurrent changes.
#include <sqlite3.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <thread>

#include "host_test.h"
#include "platform/netapi/local/account_store.h"
#include "scratch_dir.h"

namespace {

constexpr int kUsers = 8;

std::string Password(int nUser, int nVersion) {
  return "Pass-" + std::to_string(nUser) + "-" + std::to_string(nVersion);
}

class HostFaults : public HostWithExtension {
 protected:
  void SetUp() override {
    std::string error;
    auto pStore = platform::CAccountStore::Create(m_dir.Path("store.db"), {0, false, 0, 0, 0}, error);
    ASSERT_TRUE(pStore) << error;
    for (int i = 0; i < kUsers; ++i)
      ASSERT_EQ(pStore->AddUser("user" + std::to_string(i), Password(i, 0).c_str()), 0u);
    // No guessing limits: the same request is sent many times.
    m_registry = NoGuessingLimits() + vlttest::LocalDomain("STORE", m_dir.Path("store.db"));
  }
  std::string ChangeDocument(int nUser, int nFrom, int nTo) {
    return ChangeRequest("user" + std::to_string(nUser), Password(nUser, nFrom), Password(nUser, nTo), "NT",
                         "STORE");
  }
  // The host's open descriptors, each as what it points to.
  std::vector<std::string> OpenDescriptors() {
    std::vector<std::string> targets;
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(m_host.Pid()) + "/fd", ec))
      targets.push_back(std::filesystem::read_symlink(fd, ec).string());
    return targets;
  }
  vlttest::CScratchDir m_dir;
  std::string m_registry;
};

// Clients that close after half a body, after a whole request without
// reading the answer, or after part of the answer: the host serves the
// next client and keeps no descriptor of theirs.
TEST_F(HostFaults, ClientsThatVanishCostNothing) {
  StartHost(m_registry);
  EXPECT_EQ(Answer(ChangeDocument(2, 0, 1)), "");  // the host's io threads set up
  const size_t cBefore = OpenDescriptors().size();
  // A user the store does not have: answered without hashing anything.
  const std::string request = Post(kUrl, ChangeRequest("nobody", "Old-1", "New-1", "NT", "STORE"));
  for (int nRound = 0; nRound < 50; ++nRound) {
    for (size_t cbSent : {request.size() - 40, request.size(), request.size() + 1}) {
      CHttpClient client;
      ASSERT_TRUE(client.Connect(m_host.Port()));
      ASSERT_TRUE(client.Send(request.substr(0, std::min(cbSent, request.size()))));
      if (cbSent > request.size()) {  // reads a few bytes of the answer, then goes
        std::string part;
        client.ReadUntilClose(part, std::chrono::milliseconds(1));
      }
    }  // each client closes here
  }
  EXPECT_EQ(Answer(ChangeDocument(1, 0, 1)), "");
  for (int i = 0; i < 200 && OpenDescriptors().size() > cBefore; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::vector<std::string> after = OpenDescriptors();
  std::string list;
  for (const std::string& target : after) list += " " + target;
  EXPECT_LE(after.size(), cBefore) << list;
}

// kill -9 in the middle of concurrent changes: the store is intact and every
// change answered with success holds (a change in flight may have been
// written without its answer).
TEST_F(HostFaults, KilledMidChangesLosesNothingAnswered) {
  StartHost(m_registry);
  std::atomic<bool> fKilled{false};
  int rgnAcknowledged[kUsers] = {};
  std::vector<std::thread> threads;
  for (int nUser = 0; nUser < kUsers; ++nUser) {
    threads.emplace_back([&, nUser] {
      for (int nVersion = 0; !fKilled; ++nVersion) {
        CHttpClient client;
        CHttpResponse response;
        if (!client.Connect(m_host.Port()) || !client.Send(Post(kUrl, ChangeDocument(nUser, nVersion, nVersion + 1))) ||
            !client.ReadResponse(response))
          return;
        if (response.m_statusLine != "HTTP/1.1 200 OK" || ErrorIdOf(response.m_body) != "") return;
        rgnAcknowledged[nUser] = nVersion + 1;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  kill(m_host.Pid(), SIGKILL);
  fKilled = true;
  for (auto& thread : threads) thread.join();
  m_host.WaitExit(std::chrono::seconds(10));

  sqlite3* pDb = nullptr;
  ASSERT_EQ(sqlite3_open(m_dir.Path("store.db").c_str(), &pDb), SQLITE_OK);
  sqlite3_stmt* pCheck = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(pDb, "PRAGMA integrity_check", -1, &pCheck, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(pCheck), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(pCheck, 0)), "ok");
  sqlite3_finalize(pCheck);
  sqlite3_close(pDb);

  std::string error;
  auto pStore = platform::CAccountStore::Open(m_dir.Path("store.db"), error);
  ASSERT_TRUE(pStore) << error;
  int cAcknowledged = 0;
  for (int nUser = 0; nUser < kUsers; ++nUser) {
    SCOPED_TRACE(nUser);
    const int n = rgnAcknowledged[nUser];
    cAcknowledged += n;
    const std::string user = "user" + std::to_string(nUser);
    // The acknowledged password, or the one after it; nothing older.
    NET_API_STATUS status = pStore->ChangePassword(user, Password(nUser, n).c_str(), "Final-1");
    if (status != 0) status = pStore->ChangePassword(user, Password(nUser, n + 1).c_str(), "Final-1");
    EXPECT_EQ(status, 0u) << "acknowledged version " << n;
  }
  EXPECT_GT(cAcknowledged, 0);
}

}  // namespace
