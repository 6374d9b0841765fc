// vltadmin-host with the real extension and a local store DEMO holding
// alice. Its statistics, scraped after a few requests: requests by status
// and by answer, the queue and workers, and back-end latency by kind; on
// the listen address or only on a separate one. SIGHUP (systemctl reload)
// restarts the extension: its start-up settings are read again, and
// requests that arrive while it restarts wait and are answered.
#include <signal.h>

#include <atomic>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "account_test_support.h"
#include "host_test.h"

namespace {

// Sample lines of a Prometheus text, "name{labels}" -> value; checks the
// format of every line on the way.
std::map<std::string, double> Samples(const std::string& text) {
  static const std::regex s_sample(R"(^([a-z_]+(\{[a-z_]+="[^"\\]*"(,[a-z_]+="[^"\\]*")*\})?) ([0-9.e+-]+)$)");
  static const std::regex s_comment(R"(^# (HELP|TYPE) [a-z_]+ .+$)");
  std::map<std::string, double> samples;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_match(line, m, s_sample))
      samples[m[1]] = std::stod(m[4]);
    else
      EXPECT_TRUE(std::regex_match(line, s_comment)) << "not a metrics line: " << line;
  }
  return samples;
}

std::string MaxRequestSize(unsigned nBytes) {
  return vlttest::VeltraKey("XML Service", vlttest::RegDword("MaxRequestSize", nBytes));
}

class HostWithStore : public HostWithExtension {
 protected:
  void SetUp() override {
    platform::CAccountPolicy policy{8, false, 0, 0, 0};
    ASSERT_TRUE(accounttest::MakeStore(m_dir.Path("demo.db"), {{"alice", "Alice-Pass-1"}}, policy));
  }
  std::string Domain() const { return vlttest::LocalDomain("DEMO", m_dir.Path("demo.db")); }
  std::string Change(const std::string& oldPassword, const std::string& newPassword) {
    return Answer(ChangeRequest("alice", oldPassword, newPassword, "NT", "DEMO"));
  }
  CHttpResponse Scrape(unsigned short nPort) { return RoundTrip(Get("/metrics"), nPort); }
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

using HostMetrics = HostWithStore;
using HostReload = HostWithStore;

}  // namespace

TEST_F(HostMetrics, CountsRequestsAnswersAndBackEnds) {
  // Scraped on a listener of their own, so that scrapes are not counted.
  StartHost(Domain(), {"--metrics-listen", "127.0.0.1:0"});
  ASSERT_NE(m_host.MetricsPort(), 0);
  EXPECT_EQ(Change("wrong", "Alice-Pass-2"), "old-password-invalid");
  EXPECT_EQ(Change("Alice-Pass-1", "short"), "new-password-invalid");
  EXPECT_EQ(Change("Alice-Pass-1", "Alice-Pass-2"), "");
  EXPECT_EQ(Answer(ChangeRequest("<UserName>a</Broken>")), "bad-request");
  EXPECT_EQ(RoundTrip(Post(kUrl, "<AdminProtocol><RequestGroup/></AdminProtocol>")).m_nStatus, 405);
  EXPECT_EQ(RoundTrip(Get("/nothing")).m_nStatus, 404);

  // A request is counted once its response has been written, which the
  // client may see a moment before: scrape until the last one is in.
  CHttpResponse response;
  std::map<std::string, double> m;
  for (int i = 0; i < 500 && m["vltadmin_http_request_duration_seconds_count"] < 6; ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    response = Scrape(m_host.MetricsPort());
    ASSERT_EQ(response.m_nStatus, 200);
    m = Samples(response.m_body);
  }
  EXPECT_EQ(response.Header("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
  EXPECT_EQ(m["vltadmin_http_requests_total{code=\"200\"}"], 4);
  EXPECT_EQ(m["vltadmin_http_requests_total{code=\"405\"}"], 1);
  EXPECT_EQ(m["vltadmin_http_requests_total{code=\"404\"}"], 1);
  EXPECT_EQ(m["vltadmin_http_request_duration_seconds_count"], 6);
  const std::pair<const char*, double> rgAnswers[] = {
      {"success", 1}, {"old-password-invalid", 1}, {"new-password-invalid", 1},
      {"bad-request", 1}, {"operation-failed", 0}, {"ADMIN_ERR_OPERATION_FAILED", 0}};
  for (const auto& [pszAnswer, n] : rgAnswers)
    EXPECT_EQ(m.at("vltadmin_change_password_answers_total{answer=\"" + std::string(pszAnswer) + "\"}"), n)
        << pszAnswer;
  // Three changes reached the store; the malformed request reached no back end.
  EXPECT_EQ(m["vltadmin_backend_duration_seconds_count{kind=\"nt_local\"}"], 3);
  EXPECT_EQ(m["vltadmin_backend_duration_seconds_bucket{kind=\"nt_local\",le=\"+Inf\"}"], 3);
  EXPECT_GT(m["vltadmin_backend_duration_seconds_sum{kind=\"nt_local\"}"], 0);
  for (const char* pszKind : {"nt_kerberos", "directory", "nds"})
    EXPECT_EQ(m.at("vltadmin_backend_duration_seconds_count{kind=\"" + std::string(pszKind) + "\"}"), 0);
  EXPECT_EQ(m.at("vltadmin_queued_requests"), 0);
  EXPECT_GE(m.at("vltadmin_worker_threads"), 1);
  EXPECT_EQ(m.count("vltadmin_busy_worker_threads"), 1u);
  EXPECT_EQ(m.count("vltadmin_http_connections"), 1u);
}

TEST_F(HostMetrics, ServedOnTheLoopbackListenerOrOnlyOnTheirOwn) {
  StartHost(Domain());
  CHttpResponse response = Scrape(m_host.Port());
  EXPECT_EQ(response.m_nStatus, 200);
  EXPECT_EQ(Samples(response.m_body).count("vltadmin_change_password_answers_total{answer=\"success\"}"), 1u);
  EXPECT_EQ(RoundTrip(CHttpClient::Request("POST", "/metrics", "text/plain", "x")).m_nStatus, 405);
  m_host.Stop(SIGTERM);

  StartHost(Domain(), {"--metrics-listen", "127.0.0.1:0"});
  EXPECT_EQ(Scrape(m_host.Port()).m_nStatus, 404) << "not on the main listener then";
  EXPECT_EQ(Scrape(m_host.MetricsPort()).m_nStatus, 200);
  const std::string change = Post(kUrl, ChangeRequest("alice", "Alice-Pass-1", "Alice-Pass-2", "NT", "DEMO"));
  EXPECT_EQ(RoundTrip(change, m_host.MetricsPort()).m_nStatus, 404) << "the metrics listener serves nothing else";
}

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
