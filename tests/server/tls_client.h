// CHttpClient over TLS (OpenSSL), verifying the server against one
// certificate file.
#pragma once

#include <openssl/ssl.h>

#include <string>

#include "http_client.h"

class CTlsHttpClient : public CHttpClient {
 public:
  CTlsHttpClient() = default;
  ~CTlsHttpClient() override;

  // Connects and completes the handshake; the server's certificate must be
  // issued by |caFile| for the IP address |address|.
  bool ConnectTls(unsigned short nPort, const std::string& caFile,
                  const std::string& address = "127.0.0.1");

 protected:
  long RawRead(char* pch, size_t cb, std::chrono::milliseconds timeout) override;
  bool RawWrite(const char* pch, size_t cb) override;

 private:
  void Free();

  SSL_CTX* m_pCtx = nullptr;
  SSL* m_pSsl = nullptr;
};
