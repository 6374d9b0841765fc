// Requests and responses through vltadmin-host: exact status lines, the
// control block the extension sees, keep-alive and the host's own replies.
#include <fstream>
#include <sstream>
#include <string>

#include "host_fixture.h"

namespace {

std::string Body(size_t cb) {
  std::string s(cb, ' ');
  for (size_t i = 0; i < cb; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
  return s;
}

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

TEST_F(HostTest, BareStatusReplyIsCompleteResponseAndCloses) {
  StartHost();
  CHttpClient client;
  Connect(client);
  ASSERT_TRUE(client.Send(Post("/test.dll?mode=bare", "<x/>")));
  std::string all;
  ASSERT_TRUE(client.ReadUntilClose(all));
  EXPECT_EQ(all,
            "HTTP/1.1 405 method not supported\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");

  // With fKeepConn the host cannot know whether a body follows: it delimits
  // the response by the close.
  CHttpResponse r = RoundTrip(Get("/test.dll?mode=bare-keep"));
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(r.Header("Connection"), "close");
}

TEST_F(HostTest, KeepAliveServesSeveralRequestsOnOneConnection) {
  StartHost();
  CHttpClient client;
  Connect(client);
  // Two pipelined requests, a chunked response, then one more request.
  ASSERT_TRUE(client.Send(Post("/test.dll?mode=echo", "one") + Post("/test.dll?mode=echo", "two") +
                          Get("/test.dll?mode=chunked")));
  CHttpResponse r1, r2, r3;
  ASSERT_TRUE(client.ReadResponse(r1));
  ASSERT_TRUE(client.ReadResponse(r2));
  ASSERT_TRUE(client.ReadResponse(r3));
  EXPECT_EQ(r1.m_body, "one");
  EXPECT_EQ(r2.m_body, "two");
  EXPECT_EQ(r3.m_body, "firstsecondthird");
  ASSERT_TRUE(client.Send(Post("/test.dll?mode=echo", "last")));
  ASSERT_TRUE(client.ReadResponse(r1));
  EXPECT_EQ(r1.m_body, "last");
}

TEST_F(HostTest, ResponsesWithoutKnownEndCloseTheConnection) {
  StartHost();
  CHttpClient client;
  Connect(client);
  ASSERT_TRUE(client.Send(Get("/test.dll?mode=nolength")));
  CHttpResponse r;
  ASSERT_TRUE(client.ReadResponse(r));  // read to the close
  EXPECT_EQ(r.m_body, "until the close");

  // "Connection: close" from the client ends the connection after the response.
  Connect(client);
  ASSERT_TRUE(client.Send(Post("/test.dll?mode=echo", "x", "Connection: close\r\n")));
  ASSERT_TRUE(client.ReadResponse(r));
  EXPECT_EQ(r.m_body, "x");
  EXPECT_TRUE(client.PeerCloses(std::chrono::seconds(5)));
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
  EXPECT_EQ(r.Header("X-Total-Bytes"), "3");
  EXPECT_EQ(r.Header("X-Available"), "3");
  EXPECT_EQ(r.Header("X-Remote-Addr"), "127.0.0.1");
  EXPECT_EQ(r.Header("X-Registry"), "/tmp/some/registry.reg");  // set before the library loaded

  // No Content-Type and no body: "" and a total of 0.
  r = RoundTrip(Get("/test.dll?mode=echo"));
  EXPECT_EQ(r.Header("X-Content-Type"), "[]");
  EXPECT_EQ(r.Header("X-Total-Bytes"), "0");
  EXPECT_EQ(r.Header("X-Reads"), "0");
}

TEST_F(HostTest, ChunkedRequestBodyIsDechunkedByReadClient) {
  StartHost({"--read-ahead", "100"});
  std::string body = Body(20000);
  CHttpResponse r = RoundTrip("POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\n"
                              "Content-Type: text/xml\r\nTransfer-Encoding: chunked\r\n\r\n" +
                              Chunked(body, 333));
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(r.Header("X-Total-Bytes"), "4294967295");
  EXPECT_EQ(r.Header("X-Available"), "100");
  EXPECT_EQ(r.m_body, body);

  // A small chunked body arrives whole in the read-ahead.
  r = RoundTrip("POST /test.dll?mode=echo HTTP/1.1\r\nHost: x\r\n"
                "Transfer-Encoding: chunked\r\n\r\n" + Chunked("hello world", 4));
  EXPECT_EQ(r.Header("X-Available"), "11");
  EXPECT_EQ(r.m_body, "hello world");
}

TEST_F(HostTest, HostAnswersWhatNoExtensionServes) {
  StartHost({"--max-header-bytes", "1024"});
  CHttpResponse r = RoundTrip(Get("/nothing/here"));
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 404 Not Found");
  // A longer path that only starts like the extension's is not it.
  r = RoundTrip(Get("/test.dllx"));
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 404 Not Found");

  for (const char* pszBad : {"GARBAGE\r\n\r\n", "GET / HTTP/1.1\r\nBad Header\r\n\r\n",
                             "POST /test.dll HTTP/1.1\r\nContent-Length: 12x\r\n\r\n",
                             "GET /te%zzst.dll HTTP/1.1\r\n\r\n",
                             // Framing a request two ways is refused, not guessed.
                             "POST /test.dll HTTP/1.1\r\nContent-Length: 5\r\n"
                             "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
                             "POST /test.dll HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n",
                             "POST /test.dll HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"}) {
    CHttpClient client;
    Connect(client);
    ASSERT_TRUE(client.Send(pszBad));
    std::string all;
    ASSERT_TRUE(client.ReadUntilClose(all)) << pszBad;
    EXPECT_EQ(all, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
        << pszBad;
  }

  r = RoundTrip("GET /test.dll HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(2000, 'a') +
                "\r\n\r\n");
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 431 Request Header Fields Too Large");
  r = RoundTrip("POST /test.dll HTTP/1.1\r\nHost: x\r\nContent-Length: 4294967295\r\n\r\n");
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 413 Payload Too Large");
}

TEST_F(HostTest, ExtensionFailuresBecome500) {
  StartHost();
  CHttpResponse r = RoundTrip(Get("/test.dll?mode=error"));
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 500 Internal Server Error");
  r = RoundTrip(Get("/test.dll?mode=silent"));
  EXPECT_EQ(r.m_statusLine, "HTTP/1.1 500 Internal Server Error");
}

TEST_F(HostTest, AccessLogHasOneLinePerRequestAndNoBody) {
  char szLog[] = "/tmp/vlt_access_XXXXXX";
  int fd = mkstemp(szLog);
  ASSERT_GE(fd, 0);
  close(fd);
  StartHost({"--access-log", szLog});
  RoundTrip(Post("/test.dll?mode=echo&secret=1", "<Password>hunter2</Password>"));
  RoundTrip(Get("/missing"));
  EXPECT_EQ(m_host.Stop(SIGTERM), 0);
  std::ifstream in(szLog);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string log = ss.str();
  unlink(szLog);
  EXPECT_NE(log.find(" 127.0.0.1:"), std::string::npos) << log;
  EXPECT_NE(log.find("\"POST /test.dll\" 200 "), std::string::npos) << log;
  EXPECT_NE(log.find("\"GET /missing\" 404 "), std::string::npos) << log;
  EXPECT_EQ(log.find("hunter2"), std::string::npos);
  EXPECT_EQ(log.find("secret"), std::string::npos);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

}  // namespace
