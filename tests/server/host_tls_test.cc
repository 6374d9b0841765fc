// HTTPS: the host serves the extension over TLS with a certificate made for
// the test.
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <cstdlib>
#include <string>

#include "host_test.h"
#include "scratch_dir.h"

namespace {

// CHttpClient over TLS, trusting one certificate file issued for 127.0.0.1.
class CTlsHttpClient : public CHttpClient {
 public:
  ~CTlsHttpClient() override {
    if (m_pSsl) SSL_free(m_pSsl);
    if (m_pCtx) SSL_CTX_free(m_pCtx);
  }
  // |pszTls12Ciphers|: offer TLS 1.2 with only these suites.
  bool ConnectTls(unsigned short nPort, const std::string& caFile, const char* pszTls12Ciphers = nullptr) {
    if (!Connect(nPort)) return false;
    m_pCtx = SSL_CTX_new(TLS_client_method());
    if (m_pCtx == nullptr || SSL_CTX_load_verify_locations(m_pCtx, caFile.c_str(), nullptr) != 1)
      return false;
    if (pszTls12Ciphers != nullptr && (SSL_CTX_set_max_proto_version(m_pCtx, TLS1_2_VERSION) != 1 ||
                                       SSL_CTX_set_cipher_list(m_pCtx, pszTls12Ciphers) != 1))
      return false;
    SSL_CTX_set_verify(m_pCtx, SSL_VERIFY_PEER, nullptr);
    m_pSsl = SSL_new(m_pCtx);
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_pSsl), "127.0.0.1");
    SSL_set_fd(m_pSsl, m_fd);
    return SSL_connect(m_pSsl) == 1;
  }

 protected:
  long RawRead(char* pch, size_t cb, std::chrono::milliseconds timeout) override {
    if (SSL_pending(m_pSsl) == 0) {
      pollfd pfd{m_fd, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(timeout.count())) <= 0) return -1;
    }
    int n = SSL_read(m_pSsl, pch, static_cast<int>(cb));
    if (n > 0) return n;
    int err = SSL_get_error(m_pSsl, n);
    return err == SSL_ERROR_ZERO_RETURN || err == SSL_ERROR_SYSCALL ? 0 : -1;
  }
  bool RawWrite(const char* pch, size_t cb) override {
    return SSL_write(m_pSsl, pch, static_cast<int>(cb)) == static_cast<int>(cb);
  }

 private:
  SSL_CTX* m_pCtx = nullptr;
  SSL* m_pSsl = nullptr;
};

class HostTlsTest : public HostTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system(("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
                           "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " + m_dir.Path("key.pem") +
                           " -out " + m_dir.Path("cert.pem") + " 2>/dev/null").c_str()),
              0);
  }
  vlttest::CScratchDir m_dir;
};

TEST_F(HostTlsTest, ServesRequestsOverTlsWithForwardSecretAeadSuitesOnly) {
  StartHost({"--tls-cert", m_dir.Path("cert.pem"), "--tls-key", m_dir.Path("key.pem"), "--read-ahead", "100000"});
  CTlsHttpClient client;
  ASSERT_TRUE(client.ConnectTls(m_host.Port(), m_dir.Path("cert.pem")));
  std::string body = "<AdminProtocol>" + std::string(70000, 'x') + "</AdminProtocol>";
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(client.Send(Post("/test.dll?mode=echo", body)));
    CHttpResponse r;
    ASSERT_TRUE(client.ReadResponse(r));
    EXPECT_EQ(r.m_statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(r.m_body, body);
    EXPECT_EQ(r.Header("X-Available"), std::to_string(body.size()));
  }
  ASSERT_TRUE(client.Send(Get("/test.dll?mode=bare")));
  std::string all;
  ASSERT_TRUE(client.ReadUntilClose(all));
  EXPECT_EQ(all,
            "HTTP/1.1 405 method not supported\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");

  // Plain HTTP to the TLS port gets no HTTP answer.
  EXPECT_EQ(UntilClose(Get("/test.dll?mode=bare")).find("HTTP/1.1"), std::string::npos);

  // TLS 1.2 only with ephemeral key exchange and authenticated encryption.
  const struct {
    const char* pszCiphers;
    bool fAccepted;
  } cases[] = {{"ECDHE-ECDSA-AES128-GCM-SHA256", true}, {"ECDHE-ECDSA-CHACHA20-POLY1305", true},
               {"ECDHE-ECDSA-AES128-SHA", false},       {"ECDHE-ECDSA-AES256-SHA384", false}};
  for (const auto& c : cases) {
    CTlsHttpClient client;
    EXPECT_EQ(client.ConnectTls(m_host.Port(), m_dir.Path("cert.pem"), c.pszCiphers), c.fAccepted) << c.pszCiphers;
  }
  EXPECT_EQ(m_host.Stop(SIGTERM), 0);
}

}  // namespace
