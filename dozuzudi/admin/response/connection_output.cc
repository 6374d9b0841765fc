#include "admin/response/connection_output.h"

#include <cstdio>
#include <cstring>

#include "admin/response/http_texts.h"

namespace {

void Write(EXTENSION_CONTROL_BLOCK* pECB, const void* pb, DWORD cb, DWORD dwFlags) {
  DWORD cbWritten = cb;
  pECB->WriteClient(pECB->ConnID, const_cast<void*>(pb), &cbWritten, dwFlags);
}

}  // namespace

bool SendResponseBlock(ConnectionOutput* pOutput, BYTE* pbBlock, DWORD cbBlock, bool fLast,
                       DWORD cbBefore, DWORD cbAfter) {
  EXTENSION_CONTROL_BLOCK* pECB = pOutput->m_pECB;
  bool fSizeLineSent = false;

  if (pOutput->m_fHeaderPending) {
    pOutput->m_fHeaderPending = false;
    char szHeader[512];
    int cchHeader;
    if (fLast) {
      cchHeader = std::snprintf(szHeader, sizeof(szHeader), g_rgHttpTexts[HTTP_TEXT_HEADER_LENGTH],
                                static_cast<int>(cbBlock));
    } else {
      pOutput->m_fChunked = true;
      cchHeader = std::snprintf(szHeader, sizeof(szHeader), g_rgHttpTexts[HTTP_TEXT_HEADER_CHUNKED],
                                static_cast<unsigned>(cbBlock));
    }
    HSE_SEND_HEADER_EX_INFO info{};
    info.pszStatus = g_rgHttpTexts[HTTP_TEXT_200_OK];
    info.cchStatus = 6;
    info.pszHeader = szHeader;
    info.cchHeader = static_cast<DWORD>(cchHeader);
    info.fKeepConn = TRUE;
    pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_SEND_RESPONSE_HEADER_EX, &info, nullptr,
                                nullptr);
    fSizeLineSent = true;
  }

  if (!pOutput->m_fChunked) {
    Write(pECB, pbBlock, cbBlock, HSE_IO_NODELAY);
    return true;
  }

  BYTE* pbSend = pbBlock;
  DWORD cbSend = cbBlock;
  if (!fSizeLineSent) {
    char szSize[16];
    int cchSize = std::snprintf(szSize, sizeof(szSize), g_rgHttpTexts[HTTP_TEXT_CHUNK_SIZE],
                                static_cast<unsigned>(cbBlock));
    if (static_cast<DWORD>(cchSize) < cbBefore) {
      pbSend -= cchSize;
      std::memcpy(pbSend, szSize, cchSize);
      cbSend += cchSize;
    } else {
      Write(pECB, szSize, cchSize, 0);
    }
  }
  const char* pszEnd = g_rgHttpTexts[fLast ? HTTP_TEXT_LAST_CHUNK_END : HTTP_TEXT_CHUNK_END];
  DWORD cchEnd = static_cast<DWORD>(std::strlen(pszEnd));
  DWORD dwLastFlags = fLast ? HSE_IO_NODELAY : 0;
  if (cchEnd < cbAfter) {
    std::memcpy(pbBlock + cbBlock, pszEnd, cchEnd);
    Write(pECB, pbSend, cbSend + cchEnd, dwLastFlags);
  } else {
    Write(pECB, pbSend, cbSend, 0);
    Write(pECB, pszEnd, cchEnd, dwLastFlags);
  }
  return true;
}
