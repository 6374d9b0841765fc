// Many clients at once: io threads and extension workers hand requests
// and writes back and forth without losing or mixing bytes.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "host_test.h"

namespace {

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
        CHttpClient client;
        std::string all;
        if (client.Connect(m_host.Port()) &&
            client.Send(Post("/test.dll?mode=bare", "<a/>")) &&
            client.ReadUntilClose(all) &&
            all.rfind("HTTP/1.1 405 method not supported\r\n", 0) == 0)
          ++nRefused;
      }
    });
  }
  for (auto& t : rgThreads) t.join();
  EXPECT_EQ(nRefused.load(), kClients * 5);
  EXPECT_EQ(m_host.Stop(SIGTERM), 0);
}

}  // namespace
