// Start and stop of vltadmin-host: refusals with a message and a non-zero
// exit, and an orderly stop that answers every request in flight.
#include <signal.h>

#include <string>
#include <thread>
#include <vector>

#include "host_fixture.h"

namespace {

using namespace std::chrono_literals;

TEST(HostStartTest, RefusesWhenTheExtensionCannotStart) {
  {
    CHostProcess host;
    host.SetEnv("VLT_TEST_EXTENSION_REFUSE", "1");
    EXPECT_FALSE(host.Start({"--extension", "/test.dll=" + TestExtensionPath()}));
    EXPECT_EQ(host.ExitStatus(), 1);
    EXPECT_NE(host.Stderr().find("refused to start (GetExtensionVersion returned FALSE)"),
              std::string::npos)
        << host.Stderr();
  }
  {
    CHostProcess host;
    EXPECT_FALSE(host.Start({"--extension", "/x.dll=/nonexistent/libnothing.so"}));
    EXPECT_EQ(host.ExitStatus(), 1);
    EXPECT_NE(host.Stderr().find("cannot load extension /nonexistent/libnothing.so"),
              std::string::npos)
        << host.Stderr();
  }
  {
    // A library without the ISAPI exports.
    CHostProcess host;
    EXPECT_FALSE(host.Start({"--extension", "/x.dll=libssl.so.3"}));
    EXPECT_EQ(host.ExitStatus(), 1);
    EXPECT_NE(host.Stderr().find("does not export GetExtensionVersion"), std::string::npos)
        << host.Stderr();
  }
  {
    CHostProcess host;
    EXPECT_FALSE(host.Start({"--read-ahead", "lots"}));
    EXPECT_EQ(host.ExitStatus(), 2);
    EXPECT_NE(host.Stderr().find("invalid value for --read-ahead"), std::string::npos);
  }
}

TEST(HostStartTest, PlainHttpOnlyOnLoopbackUnlessAllowed) {
  CHostProcess host;
  EXPECT_FALSE(host.Start({"--listen", "0.0.0.0:0", "--extension", "/test.dll=" + TestExtensionPath()}));
  EXPECT_EQ(host.ExitStatus(), 1);
  EXPECT_NE(host.Stderr().find("refusing to serve plain HTTP on 0.0.0.0:0"), std::string::npos)
      << host.Stderr();

  // Any 127/8 address is loopback.
  CHostProcess local;
  ASSERT_TRUE(local.Start({"--listen", "127.0.0.2:0", "--extension", "/test.dll=" + TestExtensionPath()}))
      << local.Stderr();
  EXPECT_EQ(local.Stop(SIGTERM), 0);
}

TEST_F(HostTest, StopAnswersEveryRequestInFlight) {
  m_host.SetEnv("VLT_TEST_EXTENSION_WORKERS", "2");
  StartHost();
  // Five requests that each take 300 ms on two workers: some are still
  // queued in the extension when the stop comes.
  std::vector<CHttpClient> clients(5);
  for (auto& c : clients) {
    Connect(c);
    ASSERT_TRUE(c.Send("GET /test.dll?mode=sleep&ms=300 HTTP/1.1\r\nHost: x\r\n\r\n"));
  }
  CHttpClient idle;
  Connect(idle);
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(kill(m_host.Pid(), SIGTERM), 0);
  for (auto& c : clients) {
    CHttpResponse r;
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

TEST_F(HostTest, SigintStopsAnIdleHost) {
  StartHost();
  EXPECT_EQ(m_host.Stop(SIGINT), 0);
}

}  // namespace
