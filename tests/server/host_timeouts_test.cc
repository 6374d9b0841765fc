// Slow and silent clients: they may take their time within the timeouts, but
// never hold an extension worker for longer than the body timeout.
#include <string>
#include <thread>

#include "host_test.h"

namespace {

using namespace std::chrono_literals;

TEST_F(HostTest, SlowClientBodyTricklesThroughReadClient) {
  StartHost({"--read-ahead", "16", "--body-timeout", "2"});
  CHttpClient client;
  Connect(client);
  std::string body(200, 'q');
  ASSERT_TRUE(client.Send("POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\nContent-Length: 200\r\n\r\n"));
  for (size_t i = 0; i < body.size(); i += 40) {
    ASSERT_TRUE(client.Send(body.substr(i, 40)));
    std::this_thread::sleep_for(100ms);
  }
  CHttpResponse r;
  ASSERT_TRUE(client.ReadResponse(r));
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(r.Header("X-Available"), "16");
  EXPECT_EQ(r.m_body, body);
}

TEST_F(HostTest, SilentClientTimesOutAndFreesTheWorker) {
  m_host.SetEnv("VLT_TEST_EXTENSION_WORKERS", "1");
  StartHost({"--read-ahead", "4", "--body-timeout", "1"});
  CHttpClient silent;
  Connect(silent);
  // Declares 100 bytes, sends 10, then nothing: the only worker waits in
  // ReadClient until the body timeout.
  ASSERT_TRUE(silent.Send("POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n0123456789"));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(RoundTrip(Get("/test.dll?mode=stats")).m_body, "read_failures=1 served=1");
  // The host closed the silent connection without a response.
  std::string extra;
  EXPECT_TRUE(silent.PeerCloses(2s, &extra));
  EXPECT_EQ(extra, "");
}

TEST_F(HostTest, SilentClientNeverReachesAWorkerWithinTheReadAhead) {
  StartHost({"--body-timeout", "1"});
  CHttpClient silent;
  Connect(silent);
  ASSERT_TRUE(silent.Send("POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n0123"));
  EXPECT_TRUE(silent.PeerCloses(5s));
  CHttpResponse r = RoundTrip(Get("/test.dll?mode=stats"));
  EXPECT_EQ(r.m_body, "read_failures=0 served=0");
}

TEST_F(HostTest, IdleAndIncompleteHeadersAreClosed) {
  StartHost({"--header-timeout", "1", "--keepalive-timeout", "1"});
  CHttpClient idle, partial, kept;
  Connect(idle);
  Connect(partial);
  ASSERT_TRUE(partial.Send("GET /test.dll HTTP/1.1\r\nHost:"));
  Connect(kept);
  ASSERT_TRUE(kept.Send(Get("/test.dll?mode=stats")));
  CHttpResponse r;
  ASSERT_TRUE(kept.ReadResponse(r));
  EXPECT_TRUE(idle.PeerCloses(4s));
  EXPECT_TRUE(partial.PeerCloses(4s));
  EXPECT_TRUE(kept.PeerCloses(4s));
}

TEST_F(HostTest, ConnectionsBeyondTheLimitAreClosed) {
  StartHost({"--max-connections", "2"});
  CHttpClient a, b, c;
  Connect(a);
  Connect(b);
  std::this_thread::sleep_for(200ms);
  Connect(c);
  EXPECT_TRUE(c.PeerCloses(3s));
  ASSERT_TRUE(a.Send(Get("/test.dll?mode=stats")));
  CHttpResponse r;
  EXPECT_TRUE(a.ReadResponse(r));
  EXPECT_EQ(r.m_nStatus, 200);
}

}  // namespace
