#include "server/response_framing.h"

#include <algorithm>
#include <cstring>

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char ca = a[i], cb = b[i];
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<char>(cb - 'A' + 'a');
    if (ca != cb) return false;
  }
  return true;
}

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// True when the last element of a comma-separated list is |token|.
bool LastTokenIs(std::string_view list, std::string_view token) {
  size_t iComma = list.rfind(',');
  std::string_view last = iComma == std::string_view::npos ? list : list.substr(iComma + 1);
  return EqualsNoCase(Trim(last), token);
}

bool HasToken(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    size_t iComma = list.find(',');
    if (EqualsNoCase(Trim(list.substr(0, iComma)), token)) return true;
    if (iComma == std::string_view::npos) break;
    list.remove_prefix(iComma + 1);
  }
  return false;
}

}  // namespace

void CResponseFraming::OnHeader(std::string_view header) {
  m_fHeaderSent = true;
  m_eFraming = eUntilClose;
  bool fLength = false, fChunked = false, fConflict = false;
  uint64_t cbLength = 0;
  while (!header.empty()) {
    size_t iEnd = header.find('\n');
    std::string_view line = header.substr(0, iEnd);
    header.remove_prefix(iEnd == std::string_view::npos ? header.size() : iEnd + 1);
    size_t iColon = line.find(':');
    if (iColon == std::string_view::npos) continue;
    std::string_view name = Trim(line.substr(0, iColon));
    std::string_view value = Trim(line.substr(iColon + 1));
    if (EqualsNoCase(name, "Content-Length")) {
      uint64_t n = 0;
      bool fDigits = !value.empty() && value.size() <= 18;
      for (char c : value) {
        if (c < '0' || c > '9') fDigits = false;
        n = n * 10 + static_cast<uint64_t>(c - '0');
      }
      if (!fDigits || (fLength && n != cbLength)) fConflict = true;
      fLength = true;
      cbLength = n;
    } else if (EqualsNoCase(name, "Transfer-Encoding")) {
      fChunked = LastTokenIs(value, "chunked");
      if (!fChunked) fConflict = true;
    } else if (EqualsNoCase(name, "Connection")) {
      if (HasToken(value, "close")) m_fConnectionClose = true;
    }
  }
  if (fConflict || (fChunked && fLength)) return;  // framing unclear: close after it
  if (fChunked) {
    m_eFraming = eChunked;
  } else if (fLength) {
    m_eFraming = eLength;
    m_cbDeclared = cbLength;
  }
}

void CResponseFraming::OnBody(const void* pb, size_t cb) {
  if (!m_fHeaderSent) m_eFraming = eUntilClose;  // raw bytes without a header
  m_cbBody += cb;
  const char* pch = static_cast<const char*>(pb);
  if (cb >= sizeof(m_rgTail)) {
    std::memcpy(m_rgTail, pch + cb - sizeof(m_rgTail), sizeof(m_rgTail));
  } else {
    std::memmove(m_rgTail, m_rgTail + cb, sizeof(m_rgTail) - cb);
    std::memcpy(m_rgTail + sizeof(m_rgTail) - cb, pch, cb);
  }
}

bool CResponseFraming::IsComplete() const {
  if (m_fConnectionClose) return false;
  switch (m_eFraming) {
    case eLength:
      return m_cbBody == m_cbDeclared;
    case eChunked:
      // The zero-size last chunk without trailers ends the body.
      return m_cbBody >= sizeof(m_rgTail) &&
             std::memcmp(m_rgTail, "0\r\n\r\n", sizeof(m_rgTail)) == 0;
    default:
      return false;
  }
}

std::string BuildResponseHead(std::string_view status, const char* pchHeader, size_t cchHeader,
                              bool fKeepConn) {
  std::string head;
  head.reserve(9 + status.size() + 2 + (pchHeader ? cchHeader : 40));
  head.append("HTTP/1.1 ");
  head.append(status);
  head.append("\r\n");
  if (pchHeader != nullptr) {
    head.append(pchHeader, cchHeader);
  } else if (fKeepConn) {
    head.append("Connection: close\r\n\r\n");
  } else {
    head.append("Content-Length: 0\r\nConnection: close\r\n\r\n");
  }
  return head;
}

int StatusCode(std::string_view status) {
  int n = 0, cDigits = 0;
  for (char c : status) {
    if (c < '0' || c > '9' || cDigits == 3) break;
    n = n * 10 + (c - '0');
    ++cDigits;
  }
  return cDigits == 3 ? n : 0;
}
