#include <signal.h>

#include <chrono>
#include <future>
#include <thread>

#include "host_with_extension.h"

namespace {

const std::string s_change = ChangeRequest("nobody", "a", "b", "NT", "NOWHERE");

}  // namespace

TEST_F(HostWithExtension, EveryRefusalIsABareStatusLineAndAClose) {
  StartHost();
  const struct {
    std::string request;
    const char* pszStatusLine;
  } cases[] = {
      {CHttpClient::Request("GET", kUrl, "text/xml", "<x/>"), "HTTP/1.1 405 method not supported"},
      {Post("<x/>", "text/plain"), "HTTP/1.1 406 no response acceptable"},
      {Post("<x/>", "text/xml; charset=utf-8"), "HTTP/1.1 406 no response acceptable"},
      {Post(""), "HTTP/1.1 411 length required"},
      {Post(std::string(16721, ' ')), "HTTP/1.1 413 request too large"},
      {Post("<AdminProtocol/>"), "HTTP/1.1 405 method not supported"},
      {Post("<?xml version=\"1.0\"?><AdminProtocol><RequestGroup/></AdminProtocol>"),
       "HTTP/1.1 405 method not supported"},
  };
  for (const auto& c : cases) {
    CHttpClient client;
    ASSERT_TRUE(client.Connect(m_host.Port()));
    ASSERT_TRUE(client.Send(c.request));
    CHttpResponse response;
    ASSERT_TRUE(client.ReadResponse(response)) << c.pszStatusLine;
    EXPECT_EQ(response.m_statusLine, c.pszStatusLine);
    EXPECT_TRUE(response.m_body.empty());
    EXPECT_NE(response.Header("Content-type"), "text/xml");
    EXPECT_TRUE(client.PeerCloses(std::chrono::seconds(5))) << c.pszStatusLine;
  }
}

TEST_F(HostWithExtension, ProtocolResponsesKeepTheConnection) {
  StartHost();
  CHttpClient client;
  ASSERT_TRUE(client.Connect(m_host.Port()));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(client.Send(Post(s_change)));
    CHttpResponse response;
    ASSERT_TRUE(client.ReadResponse(response)) << i;
    EXPECT_EQ(response.m_statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(response.Header("Content-type"), "text/xml");
    EXPECT_EQ(ErrorIdOf(response.m_body), "operation-failed");
  }
}

TEST_F(HostWithExtension, ChunkedRequestBodyHasNoDeclaredLength) {
  StartHost();
  std::string request = std::string("POST ") + kUrl +
                        " HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\n"
                        "Transfer-Encoding: chunked\r\n\r\n5\r\n<x/>\n\r\n0\r\n\r\n";
  EXPECT_EQ(Exchange(request).m_statusLine, "HTTP/1.1 413 request too large");
}

TEST_F(HostWithExtension, BodyLargerThanTheReadAheadIsReadThroughTheExtension) {
  StartHost("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\XML Service]\r\n\"MaxRequestSize\"=dword:00010000\r\n",
            {"--read-ahead", "1024"});
  std::string body = s_change;
  body.insert(body.find("<RequestChangePassword>"), std::string(40000 - body.size(), ' '));
  ASSERT_EQ(body.size(), 40000u);
  EXPECT_EQ(Answer(body), "operation-failed");
}

TEST_F(HostWithExtension, SlowClientIsServedAndAClientThatLeavesEarlyFreesItsWorker) {
  StartHost();
  std::string request = Post(s_change);
  CHttpClient slow;
  ASSERT_TRUE(slow.Connect(m_host.Port()));
  size_t cbHead = request.find("\r\n\r\n") + 4;
  ASSERT_TRUE(slow.Send(request.substr(0, cbHead + 10)));
  for (size_t at = cbHead + 10; at < request.size(); at += 40) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(slow.Send(request.substr(at, 40)));
  }
  CHttpResponse response;
  ASSERT_TRUE(slow.ReadResponse(response));
  EXPECT_EQ(response.m_statusLine, "HTTP/1.1 200 OK");

  // Twenty clients that send half a body and leave do not hold the workers.
  for (int i = 0; i < 20; ++i) {
    CHttpClient gone;
    ASSERT_TRUE(gone.Connect(m_host.Port()));
    ASSERT_TRUE(gone.Send(request.substr(0, request.size() - 30)));
  }
  EXPECT_EQ(Exchange(Post(s_change)).m_statusLine, "HTTP/1.1 200 OK");
}

TEST_F(HostWithExtension, ConcurrentRequestsInFlightAreAnsweredBeforeSigtermExits) {
  StartHost();
  std::string request = Post(s_change);
  size_t cbHead = request.find("\r\n\r\n") + 4;
  std::vector<std::unique_ptr<CHttpClient>> clients;
  for (int i = 0; i < 8; ++i) {
    clients.push_back(std::make_unique<CHttpClient>());
    ASSERT_TRUE(clients.back()->Connect(m_host.Port()));
    // Each request waits in the extension for the rest of its body.
    ASSERT_TRUE(clients.back()->Send(request.substr(0, cbHead + 5)));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  auto exitCode = std::async(std::launch::async, [this] { return m_host.Stop(SIGTERM); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (auto& client : clients) {
    ASSERT_TRUE(client->Send(request.substr(cbHead + 5)));
    CHttpResponse response;
    ASSERT_TRUE(client->ReadResponse(response));
    EXPECT_EQ(response.m_statusLine, "HTTP/1.1 200 OK");
  }
  EXPECT_EQ(exitCode.get(), 0);
}
