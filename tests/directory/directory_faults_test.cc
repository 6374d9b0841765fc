// The directory server killed in the middle of a load of changes through
// vltadmin-host: changes in flight answer "operation-failed" (within the
// network timeout: every request is answered), and changes succeed again
// once the server is back, without restarting the host.
#include <csignal>
#include <fstream>

#include "change_load.h"
#include "host_with_extension.h"
#include "slapd_server.h"

namespace {

class DirectoryFaults : public HostWithExtension {
 protected:
  void SetUp() override { ASSERT_TRUE(m_slapd.Started()); }
  CSlapdServer m_slapd;
};

TEST_F(DirectoryFaults, SlapdKilledMidLoadThenBack) {
  StartHost("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\XML Service]\r\n\"FailuresPerUser\"=dword:0\r\n\r\n" +
            m_slapd.Registry());
  vlttest::CChangeLoad load(
      [this](const std::string& user, const std::string& oldPassword, const std::string& newPassword) {
        CHttpResponse response = Exchange(Post(ChangeRequest(user + "@example.test", oldPassword, newPassword)));
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

}  // namespace
