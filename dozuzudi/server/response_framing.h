// What the host learns from the response bytes an extension sends: the
// framing its header announced and whether the body written so far completes
// it. The connection is kept open for another request only when the
// response's end is known to the client without a close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// HTTP token comparison without regard to ASCII letter case.
bool EqualsNoCase(std::string_view a, std::string_view b);

class CResponseFraming {
 public:
  enum EFraming { eNone, eLength, eChunked, eUntilClose };

  // Header bytes as the extension gave them (lines ending in CR LF, with or
  // without the closing empty line).
  void OnHeader(std::string_view header);
  // Body bytes written after the header (or raw bytes without any header).
  void OnBody(const void* pb, size_t cb);

  // True when the response is complete and framed, so that another request
  // may follow on the connection.
  bool IsComplete() const;
  bool HeaderSent() const { return m_fHeaderSent; }
  bool ConnectionClose() const { return m_fConnectionClose; }
  EFraming Framing() const { return m_eFraming; }
  uint64_t BodyBytes() const { return m_cbBody; }

 private:
  bool m_fHeaderSent = false;
  bool m_fConnectionClose = false;
  EFraming m_eFraming = eNone;
  uint64_t m_cbDeclared = 0;
  uint64_t m_cbBody = 0;
  char m_rgTail[5] = {};  // last bytes of the body, for the chunked end
};

// The status line and header block for HSE_REQ_SEND_RESPONSE_HEADER_EX:
// "HTTP/1.1 " + status + CR LF + the extension's header bytes. Without header
// bytes the host ends the block itself: a length of 0 and a close when the
// extension does not keep the connection, else a close so that any body the
// extension writes is read up to the end of the connection.
std::string BuildResponseHead(std::string_view status, const char* pchHeader, size_t cchHeader,
                              bool fKeepConn);

// The numeric code at the start of a status text ("405 method not
// supported" -> 405); 0 when there is none.
int StatusCode(std::string_view status);
