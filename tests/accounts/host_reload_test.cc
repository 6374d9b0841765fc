// SIGHUP (systemctl reload) restarts the extension in vltadmin-host: its
// start-up settings are read again, and requests that arrive while it
// restarts wait and are answered.
#include <signal.h>

#include <atomic>
#include <thread>

#include "account_test_support.h"
#include "host_test.h"

namespace {

std::string MaxRequestSize(unsigned nBytes) {
  return vlttest::VeltraKey("XML Service", vlttest::RegDword("MaxRequestSize", nBytes));
}

class HostReload : public HostWithExtension {
 protected:
  void SetUp() override {
    ASSERT_TRUE(accounttest::MakeStore(m_dir.Path("demo.db"), {{"alice", "Alice-Pass-1"}}));
  }
  std::string Domain() const { return vlttest::LocalDomain("DEMO", m_dir.Path("demo.db")); }
  size_t Reloads() const { return Occurrences(m_host.Stderr(), "vltadmin-host: reloaded\n"); }
  // Sends SIGHUP and waits until the host says it has reloaded.
  void Reload() {
    size_t nBefore = Reloads();
    ASSERT_EQ(kill(m_host.Pid(), SIGHUP), 0);
    for (int i = 0; i < 1000 && Reloads() == nBefore; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(Reloads(), nBefore + 1) << m_host.Stderr();
  }
  vlttest::CScratchDir m_dir;
};

}  // namespace

TEST_F(HostReload, StartupSettingsReadAgain) {
  StartHost(Domain() + MaxRequestSize(200));
  std::string body = ChangeRequest("alice", "Alice-Pass-1", "Alice-Pass-2", "NT", "DEMO");
  ASSERT_GT(body.size(), 200u);
  EXPECT_EQ(RoundTrip(Post(kUrl, body)).m_nStatus, 413) << "over the size read at start";
  UseRegistry(Domain() + MaxRequestSize(16720));
  EXPECT_EQ(RoundTrip(Post(kUrl, body)).m_nStatus, 413) << "read at start only";
  Reload();
  EXPECT_EQ(Answer(body), "");
}

TEST_F(HostReload, ConcurrentRequestsDuringReloadsAreAnswered) {
  StartHost(NoGuessingLimits() + Domain());  // one wrong password, many times
  std::atomic<bool> fStop{false};
  std::atomic<int> nAnswered{0}, nWrong{0};
  auto client = [&] {
    while (!fStop.load()) {
      if (Outcome(ChangeRequest("alice", "wrong", "Alice-Pass-2", "NT", "DEMO")) != "old-password-invalid")
        nWrong.fetch_add(1);
      nAnswered.fetch_add(1);
    }
  };
  std::thread a(client), b(client);
  for (int i = 0; i < 5 && !HasFailure(); ++i) {
    // Some requests between reloads, so that reloads meet requests under way.
    for (int n = 0; n < 10000 && nAnswered.load() < 4 * (i + 1); ++n)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Reload();
  }
  fStop.store(true);
  a.join();
  b.join();
  EXPECT_EQ(nWrong.load(), 0) << "of " << nAnswered.load() << " requests";
}
