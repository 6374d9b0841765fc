#include "http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

long RemainingMs(std::chrono::steady_clock::time_point deadline) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return ms.count() < 0 ? 0 : ms.count();
}

}  // namespace

std::string CHttpResponse::Header(std::string_view name) const {
  for (const auto& h : m_headers)
    if (EqualsNoCase(h.first, name)) return h.second;
  return "";
}

CHttpClient::~CHttpClient() { Close(); }

bool CHttpClient::Connect(unsigned short nPort, const std::string& address, const char* pszSource) {
  Close();
  m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_fd < 0) return false;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  if (pszSource != nullptr && (inet_pton(AF_INET, pszSource, &sa.sin_addr) != 1 ||
                               bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0)) {
    Close();
    return false;
  }
  sa.sin_port = htons(nPort);
  if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
      connect(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) {
    Close();
    return false;
  }
  int one = 1;
  setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  m_pending.clear();
  m_fEof = false;
  return true;
}

void CHttpClient::Close() {
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

bool CHttpClient::Send(std::string_view bytes) { return RawWrite(bytes.data(), bytes.size()); }

bool CHttpClient::RawWrite(const char* pch, size_t cb) {
  while (cb > 0) {
    ssize_t n = send(m_fd, pch, cb, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    pch += n;
    cb -= static_cast<size_t>(n);
  }
  return true;
}

long CHttpClient::RawRead(char* pch, size_t cb, std::chrono::milliseconds timeout) {
  pollfd pfd{m_fd, POLLIN, 0};
  int r = poll(&pfd, 1, static_cast<int>(timeout.count()));
  if (r <= 0) return -1;
  ssize_t n = recv(m_fd, pch, cb, 0);
  if (n < 0) return errno == ECONNRESET ? 0 : -1;
  return n;
}

bool CHttpClient::Fill(size_t cb, std::chrono::steady_clock::time_point deadline) {
  while (m_pending.size() < cb) {
    if (m_fEof) return false;
    char rgch[16384];
    long n = RawRead(rgch, sizeof(rgch), std::chrono::milliseconds(RemainingMs(deadline)));
    if (n < 0) return false;
    if (n == 0) {
      m_fEof = true;
      return false;
    }
    m_pending.append(rgch, static_cast<size_t>(n));
  }
  return true;
}

bool CHttpClient::ReadLine(std::string& line, std::chrono::steady_clock::time_point deadline) {
  size_t iEnd;
  while ((iEnd = m_pending.find("\r\n")) == std::string::npos) {
    if (!Fill(m_pending.size() + 1, deadline)) return false;
  }
  line = m_pending.substr(0, iEnd);
  if (m_pRaw) m_pRaw->append(m_pending, 0, iEnd + 2);
  m_pending.erase(0, iEnd + 2);
  return true;
}

bool CHttpClient::ReadResponse(CHttpResponse& r, std::chrono::milliseconds timeout) {
  r = CHttpResponse();
  auto deadline = std::chrono::steady_clock::now() + timeout;
  m_pRaw = &r.m_raw;
  struct Reset {
    std::string*& p;
    ~Reset() { p = nullptr; }
  } reset{m_pRaw};
  if (!ReadLine(r.m_statusLine, deadline)) return false;
  if (r.m_statusLine.size() >= 12) r.m_nStatus = std::atoi(r.m_statusLine.c_str() + 9);
  for (;;) {
    std::string line;
    if (!ReadLine(line, deadline)) return false;
    if (line.empty()) break;
    size_t iColon = line.find(':');
    std::string value = iColon == std::string::npos ? "" : line.substr(iColon + 1);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    r.m_headers.emplace_back(line.substr(0, iColon), value);
  }
  auto take = [&](size_t cb) {
    r.m_raw.append(m_pending, 0, cb);
    std::string s = m_pending.substr(0, cb);
    m_pending.erase(0, cb);
    return s;
  };
  std::string te = r.Header("Transfer-Encoding");
  if (te.find("chunked") != std::string::npos) {
    for (;;) {
      std::string sizeLine;
      if (!ReadLine(sizeLine, deadline)) return false;
      size_t cb = std::strtoul(sizeLine.c_str(), nullptr, 16);
      if (!Fill(cb + 2, deadline)) return false;
      r.m_body += take(cb);
      take(2);
      if (cb == 0) return true;
    }
  }
  if (std::string length = r.Header("Content-Length"); !length.empty()) {
    size_t cb = std::strtoul(length.c_str(), nullptr, 10);
    if (!Fill(cb, deadline)) return false;
    r.m_body = take(cb);
    return true;
  }
  if (r.m_nStatus == 204 || r.m_nStatus == 304 || r.m_nStatus / 100 == 1) return true;
  // Delimited by the close.
  while (Fill(m_pending.size() + 1, deadline)) {
  }
  r.m_body = take(m_pending.size());
  return m_fEof;
}

bool CHttpClient::ReadUntilClose(std::string& out, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Fill(m_pending.size() + 1, deadline)) {
  }
  out = m_pending;
  m_pending.clear();
  return m_fEof;
}

bool CHttpClient::PeerCloses(std::chrono::milliseconds timeout, std::string* pExtra) {
  std::string out;
  bool fClosed = ReadUntilClose(out, timeout);
  if (pExtra) *pExtra = out;
  return fClosed && (pExtra != nullptr || out.empty());
}

std::string CHttpClient::Request(std::string_view method, std::string_view target,
                                 std::string_view contentType, std::string_view body,
                                 std::string_view extraHeaders) {
  std::string s;
  s.append(method).append(" ").append(target).append(" HTTP/1.1\r\nHost: 127.0.0.1\r\n");
  if (!contentType.empty()) s.append("Content-Type: ").append(contentType).append("\r\n");
  if (!body.empty() || method == "POST")
    s.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
  s.append(extraHeaders).append("\r\n").append(body);
  return s;
}
