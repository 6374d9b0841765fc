// The directory server killed in the middle of a load of changes through
// vltadmin-host: changes in flight answer "operation-failed" (within the
// network timeout: every request is answered), and changes succeed again
// once the server is back, without restarting the host.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <future>

#include "change_load.h"
#include "host_test.h"
#include "platform/netapi/local/account_store.h"
#include "scratch_dir.h"
#include "slapd_server.h"

namespace {

class DirectoryFaults : public HostWithExtension {
 protected:
  void SetUp() override { ASSERT_TRUE(m_slapd.Started()); }
  CSlapdServer m_slapd;
};

TEST_F(DirectoryFaults, SlapdKilledMidLoadThenBack) {
  StartHost(NoGuessingLimits() + m_slapd.Registry());
  vlttest::CChangeLoad load(
      [this](const std::string& user, const std::string& oldPassword, const std::string& newPassword) {
        CHttpResponse response = RoundTrip(Post(kUrl, ChangeRequest(user + "@example.test", oldPassword, newPassword)));
        return response.m_statusLine == "HTTP/1.1 200 OK" ? ErrorIdOf(response.m_body) : response.m_statusLine;
      },
      {"alice", "carol"}, "Passw0rd!");
  std::this_thread::sleep_for(std::chrono::seconds(1));
  pid_t pid = 0;
  std::ifstream(m_slapd.Dir() + "/run/slapd.pid") >> pid;
  ASSERT_GT(pid, 0);
  kill(pid, SIGKILL);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_TRUE(m_slapd.Restart());
  std::this_thread::sleep_for(std::chrono::seconds(1));
  load.Stop();
  std::map<std::string, int> answers = load.Answers();
  for (const auto& [answer, n] : answers)
    EXPECT_TRUE(answer == "success" || answer == "operation-failed")
        << n << " x " << answer;
  EXPECT_GT(answers["success"], 0);
  EXPECT_GT(answers["operation-failed"], 0) << "the server was down for a second";
  EXPECT_TRUE(load.Recover()) << "changes succeed again";
}

// A directory server that accepts connections and never answers (not even
// the TLS handshake): a change fails after the network timeout, and a change
// in another domain is served meanwhile.
TEST_F(DirectoryFaults, ASilentServerFailsInTimeAndHoldsUpNoOtherDomain) {
  int fdSilent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fdSilent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(fdSilent, 64), 0);
  socklen_t cb = sizeof address;
  getsockname(fdSilent, reinterpret_cast<sockaddr*>(&address), &cb);
  vlttest::CScratchDir dir;
  std::string error;
  ASSERT_TRUE(platform::CAccountStore::Create(dir.Path("free.db"), {0, false, 0, 0, 0}, error));
  ASSERT_EQ(platform::CAccountStore::Open(dir.Path("free.db"), error)->AddUser("bob", "Bob-1"), 0u);
  StartHost(vlttest::DirectoryServices("ldaps://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/",
                              vlttest::BindIdentity("cn=admin,dc=example,dc=test", m_slapd.SecretFile()) +
                                  "\"NetworkTimeout\"=dword:1\r\n",
                              m_slapd.SecretFile()) +
            vlttest::LocalDomain("FREE", dir.Path("free.db")));
  auto silent = std::async(std::launch::async, [this] {
    return Answer(ChangeRequest("alice@example.test", "Passw0rd!", "N3w-Secret"));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Answer(ChangeRequest("bob", "Bob-1", "Bob-2", "NT", "FREE")), "");
  EXPECT_EQ(silent.get(), "operation-failed");
  close(fdSilent);  // only now: the server stayed silent throughout
}

}  // namespace
