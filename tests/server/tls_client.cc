#include "tls_client.h"

#include <openssl/x509v3.h>
#include <poll.h>

CTlsHttpClient::~CTlsHttpClient() { Free(); }

void CTlsHttpClient::Free() {
  if (m_pSsl) SSL_free(m_pSsl);
  if (m_pCtx) SSL_CTX_free(m_pCtx);
  m_pSsl = nullptr;
  m_pCtx = nullptr;
}

bool CTlsHttpClient::ConnectTls(unsigned short nPort, const std::string& caFile,
                                const std::string& address) {
  Free();
  if (!Connect(nPort, address)) return false;
  m_pCtx = SSL_CTX_new(TLS_client_method());
  if (m_pCtx == nullptr || SSL_CTX_load_verify_locations(m_pCtx, caFile.c_str(), nullptr) != 1)
    return false;
  SSL_CTX_set_verify(m_pCtx, SSL_VERIFY_PEER, nullptr);
  m_pSsl = SSL_new(m_pCtx);
  X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_pSsl), address.c_str());
  SSL_set_fd(m_pSsl, m_fd);
  return SSL_connect(m_pSsl) == 1;
}

long CTlsHttpClient::RawRead(char* pch, size_t cb, std::chrono::milliseconds timeout) {
  if (SSL_pending(m_pSsl) == 0) {
    pollfd pfd{m_fd, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(timeout.count())) <= 0) return -1;
  }
  int n = SSL_read(m_pSsl, pch, static_cast<int>(cb));
  if (n > 0) return n;
  int err = SSL_get_error(m_pSsl, n);
  return err == SSL_ERROR_ZERO_RETURN || err == SSL_ERROR_SYSCALL ? 0 : -1;
}

bool CTlsHttpClient::RawWrite(const char* pch, size_t cb) {
  return SSL_write(m_pSsl, pch, static_cast<int>(cb)) == static_cast<int>(cb);
}
