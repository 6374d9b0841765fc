// HTTPS: the host serves the extension over TLS with a certificate made for
// the test.
#include <cstdlib>
#include <string>

#include "host_fixture.h"
#include "tls_client.h"

namespace {

class HostTlsTest : public HostTest {
 protected:
  void SetUp() override {
    char szDir[] = "/tmp/vlt_tls_XXXXXX";
    ASSERT_NE(mkdtemp(szDir), nullptr);
    m_dir = szDir;
    std::string cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                      "-days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
                      m_dir + "/key.pem -out " + m_dir + "/cert.pem 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  void TearDown() override { std::system(("rm -rf " + m_dir).c_str()); }
  std::string m_dir;
};

TEST_F(HostTlsTest, ServesRequestsOverTls) {
  StartHost({"--tls-cert", m_dir + "/cert.pem", "--tls-key", m_dir + "/key.pem"});
  CTlsHttpClient client;
  ASSERT_TRUE(client.ConnectTls(m_host.Port(), m_dir + "/cert.pem"));
  std::string body = "<AdminProtocol>" + std::string(70000, 'x') + "</AdminProtocol>";
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(client.Send(CHttpClient::Request("POST", "/test.dll?mode=echo", "text/xml", body)));
    CHttpResponse r;
    ASSERT_TRUE(client.ReadResponse(r));
    EXPECT_EQ(r.m_statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(r.m_body, body);
    EXPECT_EQ(r.Header("X-Available"), "49152");
  }
  ASSERT_TRUE(client.Send("GET /test.dll?mode=bare HTTP/1.1\r\nHost: x\r\n\r\n"));
  std::string all;
  ASSERT_TRUE(client.ReadUntilClose(all));
  EXPECT_EQ(all,
            "HTTP/1.1 405 method not supported\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");

  // Plain HTTP to the TLS port gets no HTTP answer.
  CHttpClient plain;
  ASSERT_TRUE(plain.Connect(m_host.Port()));
  ASSERT_TRUE(plain.Send("GET /test.dll?mode=bare HTTP/1.1\r\nHost: x\r\n\r\n"));
  std::string reply;
  plain.ReadUntilClose(reply, std::chrono::seconds(5));
  EXPECT_EQ(reply.find("HTTP/1.1"), std::string::npos);
  EXPECT_EQ(m_host.Stop(SIGTERM), 0);
}

TEST(HostTlsStartTest, RefusesAMissingCertificate) {
  CHostProcess host;
  EXPECT_FALSE(host.Start({"--tls-cert", "/nonexistent/cert.pem", "--tls-key", "/nonexistent/key.pem",
                           "--extension", "/test.dll=" + TestExtensionPath()}));
  EXPECT_EQ(host.ExitStatus(), 1);
  EXPECT_NE(host.Stderr().find("cannot use TLS certificate /nonexistent/cert.pem"),
            std::string::npos)
      << host.Stderr();
}

}  // namespace
