// A raw HTTP/1.1 client over a plain socket for tests: sends bytes as given
// and reads responses byte for byte, so exact status lines and framing can
// be checked. Subclasses may replace the transport (TLS).
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct CHttpResponse {
  std::string m_statusLine;  // "HTTP/1.1 405 method not supported"
  int m_nStatus = 0;
  std::vector<std::pair<std::string, std::string>> m_headers;
  std::string m_body;        // de-chunked
  std::string m_raw;         // every byte of the response as received

  // The first header of that name (any case), or "" when absent.
  std::string Header(std::string_view name) const;
};

class CHttpClient {
 public:
  CHttpClient() = default;
  virtual ~CHttpClient();
  CHttpClient(const CHttpClient&) = delete;
  CHttpClient& operator=(const CHttpClient&) = delete;

  // From the loopback address |pszSource| when given (clients of several
  // addresses can be told apart).
  bool Connect(unsigned short nPort, const std::string& address = "127.0.0.1", const char* pszSource = nullptr);
  void Close();
  bool Send(std::string_view bytes);

  // Reads one response: status line, header, body by Content-Length, by
  // chunked framing, or up to the close. False on timeout or a close before
  // the response ended.
  bool ReadResponse(CHttpResponse& response,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Reads until the peer closes. False on timeout.
  bool ReadUntilClose(std::string& out, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // True when the peer closes (or resets) within |timeout| with no further
  // bytes than those returned in |pExtra|.
  bool PeerCloses(std::chrono::milliseconds timeout, std::string* pExtra = nullptr);

  // A request with a body and the usual header lines.
  static std::string Request(std::string_view method, std::string_view target,
                             std::string_view contentType, std::string_view body,
                             std::string_view extraHeaders = "");

 protected:
  // Transport: read at most |cb| bytes (0 at close, -1 on error or timeout).
  virtual long RawRead(char* pch, size_t cb, std::chrono::milliseconds timeout);
  virtual bool RawWrite(const char* pch, size_t cb);
  int m_fd = -1;

 private:
  // Makes sure m_pending holds at least |cb| bytes.
  bool Fill(size_t cb, std::chrono::steady_clock::time_point deadline);
  bool ReadLine(std::string& line, std::chrono::steady_clock::time_point deadline);

  std::string m_pending;  // received, not yet consumed
  std::string* m_pRaw = nullptr;
  bool m_fEof = false;
};
