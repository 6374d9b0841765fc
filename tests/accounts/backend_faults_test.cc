// Account stores, KDCs and directory servers that cannot serve, through
// vltadmin-host: each answers "operation-failed" within the domain's
// timeout, is reported once on standard error, and does not hold up changes
// for other domains.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <future>
#include <thread>

#include "account_test_support.h"
#include "change_load.h"
#include "fixture_support.h"
#include "host_test.h"

namespace {

class BackEndFaultsOverHttp : public HostWithExtension {
 protected:
  void SetUp() override {
    ASSERT_TRUE(accounttest::MakeStore(m_dir.Path("free.db"), {{"alice", "Alice-1"}, {"bob", "Bob-1"}}));
  }
  // A domain with a timeout of |nSeconds|.
  static std::string WithTimeout(std::string domain, unsigned nSeconds = 1) {
    return domain.insert(domain.size() - 2, vlttest::RegDword("Timeout", nSeconds));
  }
  static std::string LocalDomain(const std::string& name, const std::string& path) {
    return WithTimeout(vlttest::LocalDomain(name, path));
  }
  std::string Change(const std::string& domain, const std::string& user, const std::string& oldPassword,
                     const std::string& newPassword) {
    return Answer(ChangeRequest(user, oldPassword, newPassword, "NT", domain));
  }
  size_t Said(const std::string& text) const { return Occurrences(m_host.Stderr(), text); }
  vlttest::CScratchDir m_dir;
};

// Missing, garbage, unusable and (when the test cannot bypass permissions)
// unreadable or read-only stores: "operation-failed", each said once.
TEST_F(BackEndFaultsOverHttp, BrokenStoresFailAndAreReportedOnce) {
  struct Case {
    const char* domain;
    std::function<std::string()> make;  // the store's path
    const char* error;
  };
  auto copyOf = [&](const char* pszName, mode_t mode) {
    accounttest::MakeStore(m_dir.Path(pszName), {{"alice", "Alice-1"}});
    chmod(m_dir.Path(pszName).c_str(), mode);
    return m_dir.Path(pszName);
  };
  std::vector<Case> cases = {
      {"MISSING", [&] { return m_dir.Path("missing.db"); }, "no such store"},
      {"GARBAGE", [&] { return m_dir.Write("garbage.db", std::string(4096, 'x')); }, "not an account store"},
      {"FOLDER", [&] { mkdir(m_dir.Path("folder.db").c_str(), 0700); return m_dir.Path("folder.db"); },
       "unable to open"},
  };
  if (geteuid() != 0) {
    cases.push_back({"UNREADABLE", [&] { return copyOf("unreadable.db", 0); }, "unable to open"});
    cases.push_back({"READONLY", [&] { return copyOf("readonly.db", 0400); }, "readonly"});
  }
  std::string registry = LocalDomain("FREE", m_dir.Path("free.db"));
  std::vector<std::string> paths;
  for (const Case& c : cases) {
    paths.push_back(c.make());
    registry += LocalDomain(c.domain, paths.back());
  }
  StartHost(registry);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].domain);
    for (int nTry = 0; nTry < 2; ++nTry)
      EXPECT_EQ(Change(cases[i].domain, "alice", "Alice-1", "Alice-2"), "operation-failed");
    const std::string line = std::string("domain ") + cases[i].domain + ": account store " + paths[i] + ": ";
    EXPECT_EQ(Said(line), 1u) << m_host.Stderr();
    EXPECT_EQ(Said(line + cases[i].error), 1u) << m_host.Stderr();
  }
  EXPECT_EQ(Change("FREE", "alice", "Alice-1", "Alice-2"), "");
}

// While another writer holds a store, a change there fails after the
// domain's timeout, and a change for another domain is still served; both
// are answered while the writer still holds the store.
TEST_F(BackEndFaultsOverHttp, AHeldStoreFailsInTimeAndHoldsUpNoOtherDomain) {
  ASSERT_TRUE(accounttest::MakeStore(m_dir.Path("held.db"), {{"carol", "Carol-1"}}));
  StartHost(LocalDomain("HELD", m_dir.Path("held.db")) + LocalDomain("FREE", m_dir.Path("free.db")));
  sqlite3* pWriter = nullptr;
  ASSERT_EQ(sqlite3_open(m_dir.Path("held.db").c_str(), &pWriter), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(pWriter, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

  auto held = std::async(std::launch::async, [&] { return Change("HELD", "carol", "Carol-1", "Carol-2"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let it reach the store first
  EXPECT_EQ(Change("FREE", "bob", "Bob-1", "Bob-2"), "");
  EXPECT_EQ(held.get(), "operation-failed");
  EXPECT_EQ(Said("database is locked"), 1u) << m_host.Stderr();

  sqlite3_exec(pWriter, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(pWriter);
  EXPECT_EQ(Change("HELD", "carol", "Carol-1", "Carol-2"), "") << "served again once free";
}

// A KDC and a directory server that take connections and never answer (not
// even the TLS handshake): each change fails after its domain's timeout,
// and a change for another domain is served meanwhile.
TEST_F(BackEndFaultsOverHttp, SilentServersFailInTimeAndHoldUpNoOtherDomain) {
  vlttest::CSilentServer silent;
  ASSERT_NE(silent.Port(), 0);
  vlttest::WriteSecret(m_dir.Path("bind.secret"), "rootsecret");
  StartHost(WithTimeout(vlttest::KerberosDomain("SILENT", silent.Port(), silent.Port())) +
            LocalDomain("FREE", m_dir.Path("free.db")) +
            vlttest::DirectoryServices("ldaps://127.0.0.1:" + std::to_string(silent.Port()) + "/",
                                       vlttest::BindIdentity("cn=admin,dc=example,dc=test", m_dir.Path("bind.secret")) +
                                           vlttest::RegDword("NetworkTimeout", 1),
                                       m_dir.Path("bind.secret")));
  auto kdc = std::async(std::launch::async, [&] { return Change("SILENT", "dave", "Dave-1", "Dave-2"); });
  auto directory = std::async(std::launch::async,
                              [&] { return Answer(ChangeRequest("alice@example.test", "Passw0rd!", "N3w-Secret")); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let them reach their servers first
  EXPECT_EQ(Change("FREE", "bob", "Bob-1", "Bob-2"), "");
  EXPECT_EQ(kdc.get(), "operation-failed");
  EXPECT_EQ(directory.get(), "operation-failed");
}

// The KDC and its password server killed in the middle of a load of
// changes: changes in flight answer "operation-failed", and succeed again
// once the KDC is back, without restarting the host.
TEST_F(BackEndFaultsOverHttp, KdcKilledMidLoadThenBack) {
  vlttest::CScriptedServer kdc{"accounts/kdc.sh", 3};
  VLT_START_OR_SKIP(kdc, "the MIT KDC");
  // A timeout of two seconds and an outage longer than that: libkrb5 retries
  // a request until the KDC is back, so a shorter outage may cost nothing.
  StartHost(NoGuessingLimits() + WithTimeout(vlttest::KerberosDomain("KERB", kdc.Port(0), kdc.Port(1)), 2));
  vlttest::CChangeLoad load(
      [this](const std::string& user, const std::string& oldPassword, const std::string& newPassword) {
        return Outcome(ChangeRequest(user, oldPassword, newPassword, "NT", "KERB"));
      },
      {"alice", "carol", "dave"}, "Passw0rd!");
  std::this_thread::sleep_for(std::chrono::seconds(1));
  // The daemons run under timeout(1), whose pids the script records.
  for (const char* pszName : {"krb5kdc", "kadmind"}) {
    pid_t pid = 0;
    std::ifstream(kdc.Dir() + "/run/" + pszName + ".pid") >> pid;
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (pid_t child = 0; children >> child;) kill(child, SIGKILL);
  }
  std::this_thread::sleep_for(std::chrono::seconds(3));
  ASSERT_TRUE(kdc.Restart());
  std::this_thread::sleep_for(std::chrono::seconds(1));
  load.Stop();
  // libkrb5 sends a password change again over UDP when its TCP connection
  // breaks; the restarted server may then refuse the repeat as a password
  // of the history, after the first one was applied unanswered.
  std::map<std::string, int> answers = load.Answers();
  for (const auto& [answer, n] : answers)
    EXPECT_TRUE(answer == "success" || answer == "operation-failed" || answer == "new-password-invalid")
        << n << " x " << answer;
  EXPECT_GT(answers["success"], 0);
  EXPECT_GT(answers["operation-failed"], 0) << "the KDC was down for longer than the timeout";
  EXPECT_TRUE(load.Recover()) << "changes succeed again";
}

}  // namespace
