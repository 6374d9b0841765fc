// Slow, silent and numerous clients: they may take their time within the
// timeouts, but never keep a worker, never keep other clients out, and the
// extension never waits on one.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "host_test.h"

namespace {

using namespace std::chrono_literals;

// A raw connection from a loopback address of the test's choosing, so that
// clients of several addresses can be told apart.
class CRawClient {
 public:
  CRawClient(const char* pszSource, unsigned short nPort) {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    inet_pton(AF_INET, pszSource, &addr.sin_addr);
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) return;
    addr.sin_port = htons(nPort);
    inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    m_fConnected = connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
  }
  ~CRawClient() { close(m_fd); }
  CRawClient(CRawClient&& other) noexcept : m_fd(other.m_fd), m_fConnected(other.m_fConnected) { other.m_fd = -1; }

  bool Send(const std::string& bytes) {
    return m_fConnected && send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // The response head the host sends next, "" when it closes first.
  std::string ReadHead() {
    std::string head;
    char ch;
    while (head.find("\r\n\r\n") == std::string::npos) {
      pollfd pfd{m_fd, POLLIN, 0};
      if (poll(&pfd, 1, 10000) <= 0 || recv(m_fd, &ch, 1, 0) != 1) return "";
      head.push_back(ch);
    }
    return head;
  }
  // True when the host has closed the connection (within |timeout|).
  bool Closed(std::chrono::milliseconds timeout) {
    pollfd pfd{m_fd, POLLIN | POLLRDHUP, 0};
    if (poll(&pfd, 1, static_cast<int>(timeout.count())) <= 0) return false;
    char ch;
    return recv(m_fd, &ch, 1, MSG_PEEK | MSG_DONTWAIT) <= 0;
  }

 private:
  int m_fd = -1;
  bool m_fConnected = false;
};

const std::string kTrickleHead =
    "POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\nContent-Length: 16000\r\nExpect: 100-continue\r\n\r\n";

// A trickler whose body has begun: the host's "100 Continue" shows it waits
// for the body.
CRawClient Trickler(const char* pszSource, unsigned short nPort) {
  CRawClient c(pszSource, nPort);
  EXPECT_TRUE(c.Send(kTrickleHead));
  EXPECT_EQ(c.ReadHead(), "HTTP/1.1 100 Continue\r\n\r\n");
  EXPECT_TRUE(c.Send("x"));
  return c;
}

// Clients that never finish their requests may hold three quarters of the
// connections: each newcomer takes the place of the one that has waited
// longest, and a client that sends a whole request is served while the
// others still trickle.
TEST_F(HostTest, TricklersLeaveRoomForWholeRequests) {
  StartHost({"--max-connections", "16", "--max-connections-per-address", "64", "--body-timeout", "60"});
  std::vector<CRawClient> tricklers;
  for (int i = 0; i < 16; ++i) tricklers.push_back(Trickler("127.0.0.2", m_host.Port()));
  CHttpResponse r = RoundTrip(Post("/test.dll?mode=echo", "whole"));
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(r.m_body, "whole");
  // Twelve waited at most; the whole request took the place of a fifth.
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(tricklers[i].Closed(10s)) << i;
  for (int i = 5; i < 16; ++i) EXPECT_FALSE(tricklers[i].Closed(0ms)) << i;
}

TEST_F(HostTest, OneAddressGetsItsShareOfConnections) {
  StartHost({"--max-connections-per-address", "3", "--body-timeout", "60"});
  std::vector<CRawClient> tricklers;
  for (int i = 0; i < 3; ++i) tricklers.push_back(Trickler("127.0.0.2", m_host.Port()));
  CRawClient fourth("127.0.0.2", m_host.Port());
  EXPECT_TRUE(fourth.Closed(10s));
  EXPECT_EQ(RoundTrip(Get("/test.dll?mode=stats")).m_statusLine, "HTTP/1.1 200 OK");
  for (auto& c : tricklers) EXPECT_FALSE(c.Closed(0ms));
}

// The body's deadline does not restart with each byte: a byte every 50 ms
// is far below the minimum rate, and the host closes long before the
// declared 1000 bytes have come.
TEST_F(HostTest, TricklingBodyMeetsItsDeadline) {
  StartHost({"--body-timeout", "1", "--body-min-rate", "1000"});
  CRawClient c("127.0.0.1", m_host.Port());
  ASSERT_TRUE(c.Send("POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\n"));
  int nSent = 0;
  while (nSent < 1000 && !c.Closed(50ms) && c.Send("x")) ++nSent;
  EXPECT_LT(nSent, 1000);
  EXPECT_EQ(RoundTrip(Get("/test.dll?mode=stats")).m_body, "read_failures=0 served=0");
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
  EXPECT_EQ(RoundTrip(Get("/test.dll?mode=stats")).m_body, "read_failures=0 served=0");
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
  Connect(late);
  ASSERT_TRUE(late.Send(Get("/test.dll?mode=stats")) && late.ReadResponse(r));
  EXPECT_TRUE(idle.PeerCloses(5s));
  ASSERT_TRUE(busy.ReadResponse(r));
  EXPECT_EQ(r.m_body, "slept");
}

}  // namespace
