// Start and stop of vltadmin-host: refusals with a message and a non-zero
// exit, and an orderly stop that answers every request in flight.
#include <signal.h>

#include <string>
#include <thread>
#include <vector>

#include "host_test.h"

namespace {

using namespace std::chrono_literals;

TEST(HostStartTest, RefusesToStartWithAClearMessage) {
  const struct {
    std::vector<std::string> args;
    bool fRefuse;  // GetExtensionVersion returns FALSE
    int nExit;
    const char* pszMessage;
  } cases[] = {
      {{"--extension", "/test.dll=" + TestExtensionPath()}, true, 1,
       "refused to start (GetExtensionVersion returned FALSE)"},
      {{"--extension", "/x.dll=/nonexistent/libnothing.so"}, false, 1,
       "cannot load extension /nonexistent/libnothing.so"},
      // A library without the ISAPI exports.
      {{"--extension", "/x.dll=libssl.so.3"}, false, 1, "does not export GetExtensionVersion"},
      {{"--read-ahead", "lots"}, false, 2, "invalid value for --read-ahead"},
      {{"--tls-cert", "/nonexistent/cert.pem", "--tls-key", "/nonexistent/key.pem", "--extension",
        "/test.dll=" + TestExtensionPath()},
       false, 1, "cannot use TLS certificate /nonexistent/cert.pem"},
      {{"--listen", "0.0.0.0:0", "--extension", "/test.dll=" + TestExtensionPath()}, false, 1,
       "refusing to serve plain HTTP on 0.0.0.0:0"},
  };
  for (const auto& c : cases) {
    CHostProcess host;
    if (c.fRefuse) host.SetEnv("VLT_TEST_EXTENSION_REFUSE", "1");
    EXPECT_FALSE(host.Start(c.args)) << c.pszMessage;
    EXPECT_EQ(host.ExitStatus(), c.nExit) << c.pszMessage;
    EXPECT_NE(host.Stderr().find(c.pszMessage), std::string::npos) << host.Stderr();
  }
}

// Any 127/8 address is loopback; SIGINT stops like SIGTERM.
TEST(HostStartTest, PlainHttpOnAnyLoopbackAddress) {
  CHostProcess local;
  ASSERT_TRUE(local.Start({"--listen", "127.0.0.2:0", "--extension", "/test.dll=" + TestExtensionPath()}))
      << local.Stderr();
  EXPECT_EQ(local.Stop(SIGINT), 0);
}

TEST_F(HostTest, StopAnswersEveryRequestInFlight) {
  m_host.SetEnv("VLT_TEST_EXTENSION_WORKERS", "2");
  StartHost({"--read-ahead", "4"});
  // One request waits in ReadClient for the rest of its body; five more
  // that each take 300 ms share the other worker, so some are still queued
  // in the extension when the stop comes.
  CHttpClient reading, idle;
  Connect(reading);
  ASSERT_TRUE(reading.Send("POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\nContent-Length: 10\r\n\r\n01234"));
  std::this_thread::sleep_for(100ms);
  std::vector<CHttpClient> clients(5);
  for (auto& c : clients) {
    Connect(c);
    ASSERT_TRUE(c.Send(Get("/test.dll?mode=sleep&ms=300")));
  }
  Connect(idle);
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(kill(m_host.Pid(), SIGTERM), 0);
  ASSERT_TRUE(reading.Send("56789"));
  CHttpResponse r;
  ASSERT_TRUE(reading.ReadResponse(r));
  EXPECT_EQ(r.m_body, "0123456789");
  for (auto& c : clients) {
    ASSERT_TRUE(c.ReadResponse(r));
    EXPECT_EQ(r.m_statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(r.m_body, "slept");
    EXPECT_TRUE(c.PeerCloses(5s));  // no keep-alive while stopping
  }
  EXPECT_TRUE(idle.PeerCloses(5s));
  EXPECT_EQ(m_host.WaitExit(10s), 0);
  // No new connections once stopped.
  CHttpClient late;
  EXPECT_FALSE(late.Connect(m_host.Port()));
}

}  // namespace
