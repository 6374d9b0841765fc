// Hands a request whose body passed the intake to the protocol.
#pragma once

#include "platform/isapi.h"

#define DISPATCH_ANSWERED 0
#define DISPATCH_REFUSED 1

// DISPATCH_ANSWERED when the whole response has been sent through the
// control block; DISPATCH_REFUSED when nothing was sent and the worker is to
// answer "405 method not supported".
DWORD DispatchRequest(EXTENSION_CONTROL_BLOCK* pECB, BYTE* pbBody, DWORD cbBody);
