#include "admin/host/request_intake.h"

#include <cstring>

#include "admin/response/http_texts.h"
#include "admin/host/request_queue.h"
#include "admin/host/settings.h"
#include "platform/base/blocking_wait.h"

namespace {

// Whole-string comparison without regard to ASCII letter case.
bool EqualsNoCase(const char* pszA, const char* pszB) {
  if (pszA == nullptr || pszB == nullptr) return false;
  for (;; ++pszA, ++pszB) {
    unsigned char a = static_cast<unsigned char>(*pszA);
    unsigned char b = static_cast<unsigned char>(*pszB);
    if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b + 32);
    if (a != b) return false;
    if (a == 0) return true;
  }
}

}  // namespace

DWORD ReceiveRequestBody(EXTENSION_CONTROL_BLOCK* pECB, BYTE* pbBuffer, DWORD* pcbHeld) {
  if (pcbHeld != nullptr) *pcbHeld = 0;
  if (!EqualsNoCase(pECB->lpszMethod, g_rgHttpTexts[HTTP_TEXT_POST]))
    return SendStatusAndClose(pECB, g_rgHttpTexts[HTTP_TEXT_405_METHOD_NOT_SUPPORTED]);
  if (!EqualsNoCase(pECB->lpszContentType, g_rgHttpTexts[HTTP_TEXT_TEXT_XML]))
    return SendStatusAndClose(pECB, g_rgHttpTexts[HTTP_TEXT_406_NO_RESPONSE_ACCEPTABLE]);
  if (pECB->cbTotalBytes == 0)
    return SendStatusAndClose(pECB, g_rgHttpTexts[HTTP_TEXT_411_LENGTH_REQUIRED]);
  const DWORD cbMax = MaxRequestSize;
  if (pECB->cbTotalBytes > cbMax || pECB->cbAvailable > cbMax)
    return SendStatusAndClose(pECB, g_rgHttpTexts[HTTP_TEXT_413_REQUEST_TOO_LARGE]);

  DWORD cbHeld = pECB->cbAvailable;
  if (cbHeld != 0) std::memcpy(pbBuffer, pECB->lpbData, cbHeld);
  if (pcbHeld != nullptr) *pcbHeld = cbHeld;
  while (cbHeld < pECB->cbTotalBytes) {
    DWORD cbRead = cbMax - cbHeld;
    BOOL fRead;
    {
      platform::CBlockingWait wait;  // the client may be slow to send
      fRead = pECB->ReadClient(pECB->ConnID, pbBuffer + cbHeld, &cbRead);
    }
    // A read that fails or yields nothing (the client closed before sending
    // the declared length) ends the request; the session is still ended so
    // that the web server releases the connection.
    if (!fRead || cbRead == 0 ||
        cbRead > cbMax - cbHeld) {
      // The callback may have written anywhere in the room it was offered.
      if (pcbHeld != nullptr) *pcbHeld = cbMax;
      EndSession(pECB);
      return INTAKE_REQUEST_OVER;
    }
    cbHeld += cbRead;
    if (pcbHeld != nullptr) *pcbHeld = cbHeld;
  }
  return INTAKE_BODY_READY;
}
