// Slow, silent and numerous clients: they may take their time within the
// timeouts, but never keep a worker, never keep other clients out, and the
// extension never waits on one.
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host_test.h"

namespace {

using namespace std::chrono_literals;

const std::string kTrickleHead =
    "POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\nContent-Length: 16000\r\nExpect: 100-continue\r\n\r\n";

// A trickler from a loopback address of the test's choosing whose body has
// begun: the host's "100 Continue" shows it waits for the body.
std::unique_ptr<CHttpClient> Trickler(const char* pszSource, unsigned short nPort) {
  auto pClient = std::make_unique<CHttpClient>();
  CHttpResponse r;
  EXPECT_TRUE(pClient->Connect(nPort, "127.0.0.1", pszSource) && pClient->Send(kTrickleHead) &&
              pClient->ReadResponse(r) && pClient->Send("x"));
  EXPECT_EQ(r.m_raw, "HTTP/1.1 100 Continue\r\n\r\n");
  return pClient;
}

// Clients that never finish their requests may hold three quarters of the
// connections: each newcomer takes the place of the one that has waited
// longest, and a client that sends a whole request is served while the
// others still trickle.
TEST_F(HostTest, TricklersLeaveRoomForWholeRequests) {
  StartHost({"--max-connections", "16", "--max-connections-per-address", "64", "--body-timeout", "60"});
  std::vector<std::unique_ptr<CHttpClient>> tricklers;
  for (int i = 0; i < 16; ++i) tricklers.push_back(Trickler("127.0.0.2", m_host.Port()));
  CHttpResponse r = RoundTrip(Post("/test.dll?mode=echo", "whole"));
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(r.m_body, "whole");
  // Twelve waited at most; the whole request took the place of a fifth.
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(tricklers[i]->PeerCloses(10s)) << i;
  for (int i = 5; i < 16; ++i) EXPECT_FALSE(tricklers[i]->PeerCloses(0ms)) << i;
}

TEST_F(HostTest, OneAddressGetsItsShareOfConnections) {
  StartHost({"--max-connections-per-address", "3", "--body-timeout", "60"});
  std::vector<std::unique_ptr<CHttpClient>> tricklers;
  for (int i = 0; i < 3; ++i) tricklers.push_back(Trickler("127.0.0.2", m_host.Port()));
  CHttpClient fourth;
  ASSERT_TRUE(fourth.Connect(m_host.Port(), "127.0.0.1", "127.0.0.2"));
  EXPECT_TRUE(fourth.PeerCloses(10s));
  EXPECT_EQ(RoundTrip(Get("/test.dll?mode=stats")).m_statusLine, "HTTP/1.1 200 OK");
  for (auto& pClient : tricklers) EXPECT_FALSE(pClient->PeerCloses(0ms));
}

// The body's deadline does not restart with each byte: a byte every 50 ms
// is far below the minimum rate, and the host closes long before the
// declared 1000 bytes have come.
TEST_F(HostTest, TricklingBodyMeetsItsDeadline) {
  StartHost({"--body-timeout", "1", "--body-min-rate", "1000"});
  CHttpClient c;
  Connect(c);
  ASSERT_TRUE(c.Send("POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\n"));
  int nSent = 0;
  while (nSent < 1000 && !c.PeerCloses(50ms) && c.Send("x")) ++nSent;
  EXPECT_LT(nSent, 1000);
  EXPECT_EQ(RoundTrip(Get("/test.dll?mode=stats")).m_body, "read_failures=0 served=0 sleeping=0");
}

// The host reads the whole body before the extension sees the request: a
// client that pauses in the middle of its body holds no worker, even the
// only one, and its request is served once the body is complete.
TEST_F(HostTest, PausedBodyHoldsUpNoOtherRequest) {
  m_host.SetEnv("VLT_TEST_EXTENSION_WORKERS", "1");
  StartHost();
  CHttpClient paused;
  Connect(paused);
  ASSERT_TRUE(paused.Send("POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\nContent-Length: 10\r\n\r\n01234"));
  EXPECT_EQ(RoundTrip(Get("/test.dll?mode=stats")).m_body, "read_failures=0 served=0 sleeping=0");
  ASSERT_TRUE(paused.Send("56789"));
  CHttpResponse r;
  ASSERT_TRUE(paused.ReadResponse(r));
  EXPECT_EQ(r.m_body, "0123456789");
  EXPECT_EQ(r.Header("X-Available") + "/" + r.Header("X-Reads"), "10/0");
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

// At the limit, a connection idle since its last response makes room for a
// newcomer; one whose request is with the extension does not.
TEST_F(HostTest, AtTheLimitIdleConnectionsMakeRoom) {
  StartHost({"--max-connections", "2", "--max-connections-per-address", "3"});
  CHttpClient idle, busy, late;
  CHttpResponse r;
  for (CHttpClient* p : {&idle, &busy}) {
    Connect(*p);
    ASSERT_TRUE(p->Send(Get("/test.dll?mode=stats")) && p->ReadResponse(r));
  }
  ASSERT_TRUE(busy.Send(Get("/test.dll?mode=sleep&ms=3000")));
  // Until the host has handed the sleep to the extension, the busy
  // connection still waits for its request too.
  for (int i = 0; i < 500 && r.m_body.find("sleeping=1") == std::string::npos; ++i)
    ASSERT_TRUE(idle.Send(Get("/test.dll?mode=stats")) && idle.ReadResponse(r));
  ASSERT_NE(r.m_body.find("sleeping=1"), std::string::npos);
  // The idle connection counts as waiting only once its response is out:
  // a newcomer just before that finds no room, and comes again.
  bool fServed = false;
  for (int i = 0; i < 250 && !fServed; ++i) {
    if (i > 0) std::this_thread::sleep_for(20ms);
    Connect(late);
    fServed = late.Send(Get("/test.dll?mode=stats")) && late.ReadResponse(r, 2s);
  }
  EXPECT_TRUE(fServed);
  EXPECT_TRUE(idle.PeerCloses(5s));
  ASSERT_TRUE(busy.ReadResponse(r));
  EXPECT_EQ(r.m_body, "slept");
}

}  // namespace
