// The HTTP framing of one request's response: the status and header go with
// the first block; a response that is one block carries a Content-length,
// a longer one is sent chunked.
#pragma once

#include "platform/isapi/isapi.h"

struct ConnectionOutput {
  bool m_fHeaderPending = true;  // status and header not sent yet
  bool m_fChunked = false;       // chunked transfer encoding in use
  EXTENSION_CONTROL_BLOCK* m_pECB = nullptr;
};

// Sends one block of the response body. REQUIRES: cbBefore bytes in front of
// pbBlock and cbAfter bytes behind it may be written (room for the chunk
// size line and the chunk end, so each block goes out in one write).
// Always true; the web server's results are not looked at.
bool SendResponseBlock(ConnectionOutput* pOutput, BYTE* pbBlock, DWORD cbBlock, bool fLast,
                       DWORD cbBefore, DWORD cbAfter);
