// The statistics of vltadmin-host scraped after a few requests through the
// real extension and a local store: requests by status and by answer, the
// queue and workers, and back-end latency by kind; on the listen address
// or only on a separate one.
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

class HostMetrics : public HostWithExtension {
 protected:
  void SetUp() override {
    platform::CAccountPolicy policy{8, true, 3, 0, 5};
    ASSERT_TRUE(accounttest::MakeStore(m_dir.Path("demo.db"), {{"alice", "Alice-Pass-1"}}, policy));
  }
  void StartWithStore(std::vector<std::string> args = {}) {
    StartHost(vlttest::LocalDomain("DEMO", m_dir.Path("demo.db")), args);
  }
  std::string Change(const std::string& oldPassword, const std::string& newPassword) {
    return Answer(ChangeRequest("alice", oldPassword, newPassword, "NT", "DEMO"));
  }
  CHttpResponse Scrape(unsigned short nPort) { return RoundTrip(Get("/metrics"), nPort); }
  vlttest::CScratchDir m_dir;
};

}  // namespace

TEST_F(HostMetrics, CountsRequestsAnswersAndBackEnds) {
  // Scraped on a listener of their own, so that scrapes are not counted.
  StartWithStore({"--metrics-listen", "127.0.0.1:0"});
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
  StartWithStore();
  CHttpResponse response = Scrape(m_host.Port());
  EXPECT_EQ(response.m_nStatus, 200);
  EXPECT_EQ(Samples(response.m_body).count("vltadmin_change_password_answers_total{answer=\"success\"}"), 1u);
  EXPECT_EQ(RoundTrip(CHttpClient::Request("POST", "/metrics", "text/plain", "x")).m_nStatus, 405);
  m_host.Stop(SIGTERM);

  StartWithStore({"--metrics-listen", "127.0.0.1:0"});
  EXPECT_EQ(Scrape(m_host.Port()).m_nStatus, 404) << "not on the main listener then";
  EXPECT_EQ(Scrape(m_host.MetricsPort()).m_nStatus, 200);
  const std::string change = Post(kUrl, ChangeRequest("alice", "Alice-Pass-1", "Alice-Pass-2", "NT", "DEMO"));
  EXPECT_EQ(RoundTrip(change, m_host.MetricsPort()).m_nStatus, 404) << "the metrics listener serves nothing else";
}
