// Directory password changes end to end: HTTP requests to vltadmin-host
// whose registry names a private OpenLDAP server with the password policy;
// over TLS only with a verified server; and the server killed in the middle
// of a load of changes.
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "change_load.h"
#include "host_test.h"
#include "slapd_server.h"
#include "trace_capture.h"

namespace {

constexpr const char* kPassword = "Passw0rd!";

std::string UserDn(const std::string& sUser) { return "uid=" + sUser + ",ou=people,dc=example,dc=test"; }

class DirectoryChange : public HostWithExtension {
 protected:
  void SetUp() override { ASSERT_TRUE(m_slapd.Started()); }
  std::string Change(const std::string& sUpn, const std::string& sOld, const std::string& sNew) {
    return Answer(ChangeRequest(sUpn, sOld, sNew));
  }
  CSlapdServer m_slapd{true};  // with ldaps and StartTLS too
};

}  // namespace

TEST_F(DirectoryChange, ChangesAndRefusals) {
  vlttest::CTraceCapture capture;
  ASSERT_TRUE(capture.Started());
  m_host.SetEnv("VLTQTR_DEVICE", capture.SocketPath());
  StartHost(m_slapd.Registry());
  EXPECT_EQ(Change("alice@example.test", kPassword, "N3w-Secret"), "");
  EXPECT_TRUE(m_slapd.CanBind(UserDn("alice"), "N3w-Secret"));
  EXPECT_FALSE(m_slapd.CanBind(UserDn("alice"), kPassword));
  // The principal name is matched without regard to case.
  EXPECT_EQ(Change("ALICE@EXAMPLE.TEST", "N3w-Secret", "An0ther-One"), "");
  // Kept connections survive a restart of the server.
  ASSERT_TRUE(m_slapd.Restart());
  EXPECT_EQ(Change("alice@example.test", "An0ther-One", "Second-Secret2"), "");
  EXPECT_TRUE(m_slapd.CanBind(UserDn("alice"), "Second-Secret2"));

  EXPECT_EQ(Change("carol@example.test", "Wr0ng-Old!", "N3w-Secret"), "old-password-invalid");
  EXPECT_EQ(Change("carol@example.test", kPassword, "Sh0rt!"), "new-password-invalid");
  EXPECT_TRUE(m_slapd.CanBind(UserDn("carol"), kPassword));
  // Back to a password of the history.
  ASSERT_EQ(Change("carol@example.test", kPassword, "Secret-One"), "");
  EXPECT_EQ(Change("carol@example.test", "Secret-One", kPassword), "new-password-invalid");
  // bob's policy forbids a second change within a minute.
  ASSERT_EQ(Change("bob@example.test", kPassword, "Secret-One"), "");
  EXPECT_EQ(Change("bob@example.test", "Secret-One", "Secret-Two"), "new-password-invalid");
  EXPECT_TRUE(m_slapd.CanBind(UserDn("bob"), "Secret-One"));

  // The user's DN is traced; no password is.
  std::vector<vlttest::CTraceRecord> records = capture.Stop();
  bool fDnTraced = false;
  for (const auto& record : records)
    fDnTraced |= vltqtr::FormatGuid(record.rgbMessageGuid) == "{5b0e7c3a-94d1-4f6e-8a27-c1d39e60b4f2}" && record.nMessage == 12;
  EXPECT_TRUE(fDnTraced);
  vlttest::ExpectNoPasswordIn({u"Wr0ng-Old!", u"Sh0rt!", u"N3w-Secret", u"Passw0rd!", u"An0ther-One",
                               u"Second-Secret2", u"Secret-One", u"Secret-Two"},
                              records, m_host.Stderr());
}

TEST_F(DirectoryChange, FailsWithoutAKnownUserOrAUsableServiceIdentity) {
  StartHost(m_slapd.Registry());
  EXPECT_EQ(Change("nobody@example.test", kPassword, "N3w-Secret"), "operation-failed");
  // A password file that others may read is not used.
  vlttest::WriteSecret(m_slapd.SecretFile(), "rootsecret", 0644);
  EXPECT_EQ(Change("alice@example.test", kPassword, "N3w-Secret"), "operation-failed");
  EXPECT_NE(m_host.Stderr().find("secret file " + m_slapd.SecretFile() + " has mode 0644"), std::string::npos)
      << m_host.Stderr();
  vlttest::WriteSecret(m_slapd.SecretFile(), "rootsecret");
  EXPECT_EQ(Change("alice@example.test", kPassword, "N3w-Secret"), "");
  // A server in no domain: no directory is configured.
  UseRegistry("");
  EXPECT_EQ(Change("alice@example.test", "N3w-Secret", "An0ther-One"), "operation-failed");
  EXPECT_TRUE(m_slapd.CanBind(UserDn("alice"), "N3w-Secret"));
}

TEST_F(DirectoryChange, ChangesOverLdapsAndStartTlsOnlyWithAVerifiedServer) {
  StartHost(m_slapd.Registry(m_slapd.TlsUri(), m_slapd.OtherCaFile()));
  EXPECT_EQ(Change("alice@example.test", kPassword, "N3w-Secret"), "operation-failed");
  // Plain LDAP is refused unless allowed for a loopback server.
  UseRegistry(m_slapd.Registry(m_slapd.Uri(), m_slapd.OtherCaFile()));
  EXPECT_EQ(Change("alice@example.test", kPassword, "N3w-Secret"), "operation-failed");
  EXPECT_TRUE(m_slapd.CanBind(UserDn("alice"), kPassword));

  UseRegistry(m_slapd.Registry(m_slapd.TlsUri(), m_slapd.CaFile()));
  EXPECT_EQ(Change("alice@example.test", kPassword, "N3w-Secret"), "");
  EXPECT_TRUE(m_slapd.CanBind(UserDn("alice"), "N3w-Secret"));
  UseRegistry(m_slapd.Registry(m_slapd.Uri(), m_slapd.CaFile()));
  EXPECT_EQ(Change("carol@example.test", kPassword, "N3w-Secret"), "");
  EXPECT_TRUE(m_slapd.CanBind(UserDn("carol"), "N3w-Secret"));
}

TEST_F(DirectoryChange, ConcurrentChangesOfSeveralUsers) {
  StartHost(m_slapd.Registry());
  const char* rgpszUsers[] = {"alice", "bob", "carol"};
  std::vector<std::string> rgsResults(6);
  std::vector<std::thread> rgThreads;
  for (int i = 0; i < 3; ++i) {
    rgThreads.emplace_back([&, i] {
      std::string sUpn = std::string(rgpszUsers[i]) + "@example.test";
      rgsResults[2 * i] = Change(sUpn, kPassword, "First-Secret1");
      rgsResults[2 * i + 1] = Change(sUpn, "Wr0ng-Old!", "Second-Secret2");
    });
  }
  for (std::thread& thread : rgThreads) thread.join();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rgsResults[2 * i], "") << rgpszUsers[i];
    EXPECT_EQ(rgsResults[2 * i + 1], "old-password-invalid") << rgpszUsers[i];
    EXPECT_TRUE(m_slapd.CanBind(UserDn(rgpszUsers[i]), "First-Secret1"));
  }
}

// Changes in flight when the server dies answer "operation-failed" (within
// the network timeout: every request is answered), and changes succeed
// again once the server is back, without restarting the host.
TEST_F(DirectoryChange, SlapdKilledMidLoadThenBack) {
  StartHost(NoGuessingLimits() + m_slapd.Registry());
  vlttest::CChangeLoad load(
      [this](const std::string& user, const std::string& oldPassword, const std::string& newPassword) {
        return Outcome(ChangeRequest(user + "@example.test", oldPassword, newPassword));
      },
      {"alice", "carol"}, kPassword);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_GT(m_slapd.Pid(), 0);
  kill(m_slapd.Pid(), SIGKILL);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_TRUE(m_slapd.Restart());
  std::this_thread::sleep_for(std::chrono::seconds(1));
  load.Stop();
  std::map<std::string, int> answers = load.Answers();
  for (const auto& [answer, n] : answers)
    EXPECT_TRUE(answer == "success" || answer == "operation-failed") << n << " x " << answer;
  EXPECT_GT(answers["success"], 0);
  EXPECT_GT(answers["operation-failed"], 0) << "the server was down for a second";
  EXPECT_TRUE(load.Recover()) << "changes succeed again";
}
