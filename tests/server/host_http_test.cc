// Requests and responses through vltadmin-host: exact status lines, the
// control block the extension sees, keep-alive, request bodies however they
// are framed, the host's own replies; and many clients at once, whose
// requests and writes io threads and extension workers hand back and forth
// without losing or mixing bytes.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "host_test.h"
#include "scratch_dir.h"
#include "trace_capture.h"

namespace {

using namespace std::chrono_literals;

constexpr char kBare405[] = "HTTP/1.1 405 method not supported\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

std::string Chunked(const std::string& body, size_t cbChunk) {
  std::string s;
  char sz[32];
  for (size_t i = 0; i < body.size(); i += cbChunk) {
    size_t cb = std::min(cbChunk, body.size() - i);
    std::snprintf(sz, sizeof(sz), "%zx\r\n", cb);
    s.append(sz).append(body, i, cb).append("\r\n");
  }
  return s + "0\r\n\r\n";
}

// A connection is kept until a response or the client ends it; a bare
// status is a whole response and closes.
TEST_F(HostTest, KeepAliveUntilTheResponseOrTheClientEndsIt) {
  StartHost();
  CHttpClient client;
  Connect(client);
  // Two pipelined requests, a chunked response, then one that asks for the close.
  ASSERT_TRUE(client.Send(Post("/test.dll?mode=echo", "one") + Post("/test.dll?mode=echo", "two") +
                          Get("/test.dll?mode=chunked")));
  CHttpResponse r;
  for (const char* pszBody : {"one", "two", "firstsecondthird"}) {
    ASSERT_TRUE(client.ReadResponse(r));
    EXPECT_EQ(r.m_body, pszBody);
  }
  ASSERT_TRUE(client.Send(Post("/test.dll?mode=echo", "x", "Connection: close\r\n")));
  ASSERT_TRUE(client.ReadResponse(r));
  EXPECT_EQ(r.m_body, "x");
  EXPECT_TRUE(client.PeerCloses(5s));
  // A response with neither length nor chunks ends with the connection.
  Connect(client);
  ASSERT_TRUE(client.Send(Get("/test.dll?mode=nolength")));
  ASSERT_TRUE(client.ReadResponse(r));
  EXPECT_EQ(r.m_body, "until the close");
  EXPECT_EQ(UntilClose(Post("/test.dll?mode=bare", "<x/>")), kBare405);
  // With fKeepConn the host cannot know whether a body follows: it delimits
  // the response by the close.
  r = RoundTrip(Get("/test.dll?mode=bare-keep"));
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(r.Header("Connection"), "close");
}

TEST_F(HostTest, ControlBlockCarriesRequestFields) {
  StartHost({"--registry", "/tmp/some/registry.reg"});
  CHttpResponse r = RoundTrip(CHttpClient::Request("post", "/TEST.dll/more/path?mode=echo&a=%20b",
                                                   "text/xml; charset=utf-8", "abc"));
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(r.Header("X-Method"), "post");
  EXPECT_EQ(r.Header("X-Content-Type"), "[text/xml; charset=utf-8]");
  EXPECT_EQ(r.Header("X-Path-Info"), "[/more/path]");
  EXPECT_EQ(r.Header("X-Query"), "[mode=echo&a=%20b]");
  EXPECT_EQ(r.Header("X-Total-Bytes") + r.Header("X-Available"), "33");
  EXPECT_EQ(r.Header("X-Remote-Addr"), "127.0.0.1");
  EXPECT_EQ(r.Header("X-Registry"), "/tmp/some/registry.reg");  // set before the library loaded

  // No Content-Type and no body: "" and a total of 0.
  r = RoundTrip(Get("/test.dll?mode=echo"));
  EXPECT_EQ(r.Header("X-Content-Type"), "[]");
  EXPECT_EQ(r.Header("X-Total-Bytes") + r.Header("X-Reads"), "00");
}

// A chunked body reaches the extension whole and without its framing; it
// has no declared length (0xFFFFFFFF), and a read past it finds its end.
TEST_F(HostTest, ChunkedRequestBodyArrivesWholeAndDechunked) {
  StartHost();
  std::string body(20000, ' ');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
  const std::string head = "POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n";
  CHttpResponse r = RoundTrip(head + Chunked(body, 333));
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(r.Header("X-Total-Bytes"), "4294967295");
  EXPECT_EQ(r.Header("X-Available") + "/" + r.Header("X-Reads"), "20000/1");
  EXPECT_EQ(r.m_body, body);
  r = RoundTrip(head + Chunked("hello world", 4));
  EXPECT_EQ(r.Header("X-Available"), "11");
  EXPECT_EQ(r.m_body, "hello world");
}

TEST_F(HostTest, HostAnswersWhatNoExtensionServes) {
  StartHost({"--max-header-bytes", "1024", "--read-ahead", "100"});
  // A longer path that only starts like the extension's is not it.
  for (const char* pszPath : {"/nothing/here", "/test.dllx"})
    EXPECT_EQ(RoundTrip(Get(pszPath)).m_statusLine, "HTTP/1.1 404 Not Found");
  for (const char* pszBad : {"GARBAGE\r\n\r\n", "GET / HTTP/1.1\r\nBad Header\r\n\r\n",
                             "POST /test.dll HTTP/1.1\r\nContent-Length: 12x\r\n\r\n",
                             "GET /te%zzst.dll HTTP/1.1\r\nHost: x\r\n\r\n",
                             // HTTP/1.1 needs one Host line.
                             "GET /test.dll HTTP/1.1\r\n\r\n", "GET /test.dll HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n",
                             // A body framed by anything but exactly "chunked" could
                             // be read otherwise by a proxy in front.
                             "POST /test.dll HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked, gzip\r\n\r\n"
                             "5\r\nhello\r\n0\r\n\r\n",
                             "POST /test.dll HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: identity, gzip\r\n\r\nhello",
                             "POST /test.dll HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n\r\nhello",
                             "POST /test.dll HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
                             "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
                             // Framing a request two ways is refused, not guessed.
                             "POST /test.dll HTTP/1.1\r\nContent-Length: 5\r\n"
                             "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
                             "POST /test.dll HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n",
                             "POST /test.dll HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"})
    EXPECT_EQ(UntilClose(pszBad), "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  CHttpResponse r = RoundTrip("GET /test.dll HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(2000, 'a') + "\r\n\r\n");
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 431 Request Header Fields Too Large");
  // Bodies over the read-ahead, however framed, and without a "100 Continue".
  const std::string chunkedHead = "POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (const std::string& over : {std::string("POST /test.dll HTTP/1.1\r\nHost: x\r\nContent-Length: 4294967295\r\n\r\n"),
                                  Post("/test.dll?mode=echo", std::string(101, 'b')),
                                  std::string("POST /test.dll HTTP/1.1\r\nHost: x\r\nContent-Length: 101\r\n"
                                              "Expect: 100-continue\r\n\r\n"),
                                  chunkedHead + Chunked(std::string(101, 'c'), 60)})
    EXPECT_EQ(UntilClose(over), "HTTP/1.1 413 Payload Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  r = RoundTrip(chunkedHead + Chunked(std::string(100, 'c'), 60));
  EXPECT_EQ(r.m_body, std::string(100, 'c'));
  for (const char* pszMode : {"error", "silent"})
    EXPECT_EQ(RoundTrip(Get(std::string("/test.dll?mode=") + pszMode)).m_statusLine,
              "HTTP/1.1 500 Internal Server Error");
}

TEST_F(HostTest, AccessLogHasOneLinePerRequestAndNoBody) {
  vlttest::CScratchDir dir;
  StartHost({"--access-log", dir.Path("access.log")});
  RoundTrip(Post("/test.dll?mode=echo&secret=1", "<Password>hunter2</Password>"));
  RoundTrip(Get("/missing"));
  EXPECT_EQ(m_host.Stop(SIGTERM), 0);
  std::string log = vlttest::ReadFile(dir.Path("access.log"));
  EXPECT_NE(log.find(" 127.0.0.1:"), std::string::npos) << log;
  EXPECT_NE(log.find("\"POST /test.dll\" 200 "), std::string::npos) << log;
  EXPECT_NE(log.find("\"GET /missing\" 404 "), std::string::npos) << log;
  vlttest::ExpectNoPasswordIn({u"hunter2"}, {}, m_host.Stderr(), log);
  EXPECT_EQ(log.find("secret"), std::string::npos);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
  struct stat st {};
  ASSERT_EQ(stat(dir.Path("access.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // peers and paths: not for everyone
}

TEST_F(HostTest, ConcurrentClientsKeepTheirBytesApart) {
  StartHost({"--read-ahead", "8192", "--io-threads", "2"});
  constexpr int kClients = 12;
  constexpr int kRequests = 25;
  std::atomic<int> nGood{0};
  std::vector<std::thread> rgThreads;
  for (int iClient = 0; iClient < kClients; ++iClient) {
    rgThreads.emplace_back([&, iClient] {
      CHttpClient client;
      if (!client.Connect(m_host.Port())) return;
      for (int i = 0; i < kRequests; ++i) {
        std::string body(100 + (iClient * 997 + i * 131) % 5000, static_cast<char>('a' + iClient));
        body += std::to_string(i);
        std::string request = i % 5 == 4
            ? Get("/test.dll?mode=chunked")
            : Post("/test.dll?mode=echo", body);
        CHttpResponse r;
        if (!client.Send(request) || !client.ReadResponse(r)) return;
        std::string expected = i % 5 == 4 ? "firstsecondthird" : body;
        if (r.m_nStatus == 200 && r.m_body == expected) ++nGood;
      }
    });
  }
  for (auto& t : rgThreads) t.join();
  EXPECT_EQ(nGood.load(), kClients * kRequests);

  // Bare refusals close their connections; many at once still all arrive.
  rgThreads.clear();
  std::atomic<int> nRefused{0};
  for (int iClient = 0; iClient < kClients; ++iClient) {
    rgThreads.emplace_back([&] {
      for (int i = 0; i < 5; ++i) {
        if (UntilClose(Post("/test.dll?mode=bare", "<a/>")) == kBare405) ++nRefused;
      }
    });
  }
  for (auto& t : rgThreads) t.join();
  EXPECT_EQ(nRefused.load(), kClients * 5);
  EXPECT_EQ(m_host.Stop(SIGTERM), 0);
}

}  // namespace
