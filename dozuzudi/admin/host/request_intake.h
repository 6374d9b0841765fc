// The HTTP checks of a request and the reading of its body.
#pragma once

#include "platform/isapi/isapi.h"

#define INTAKE_BODY_READY 0
#define INTAKE_REQUEST_OVER 4

// Checks method, content type and declared length, and reads the body into
// pbBuffer (MaxRequestSize bytes). INTAKE_BODY_READY when the buffer holds at
// least cbTotalBytes bytes; INTAKE_REQUEST_OVER when the request has been
// answered and its session ended. *pcbHeld (when given) receives the number
// of bytes placed in the buffer, whatever the result, so that the caller can
// wipe them.
DWORD ReceiveRequestBody(EXTENSION_CONTROL_BLOCK* pECB, BYTE* pbBuffer, DWORD* pcbHeld = nullptr);
