// A reply the host makes itself (a refusal, a page file, the statistics),
// as opposed to the responses extensions frame.
#pragma once

#include <string>

struct CHostReply {
  int m_nStatus = 0;
  std::string m_head;  // status line and header lines, each ending in CR LF
  std::string m_body;
  bool m_fOmitBody = false;  // HEAD: the length of the body, not the body

  // The bytes to send: the head, Content-Length, a close when the
  // connection is not kept, the empty line, the body.
  std::string Wire(bool fKeep) const {
    std::string wire = m_head;
    wire.append("Content-Length: ").append(std::to_string(m_body.size())).append("\r\n");
    if (!fKeep) wire.append("Connection: close\r\n");
    wire.append("\r\n");
    if (!m_fOmitBody) wire.append(m_body);
    return wire;
  }
};
