// Impersonation tokens of threads (OpenThreadToken, RevertToSelf,
// SetThreadToken).
//
// The service runs under one identity and never impersonates a client, so
// no thread ever holds an impersonation token:
//   OpenThreadToken   FALSE with ERROR_NO_TOKEN; *TokenHandle is null.
//   RevertToSelf      TRUE: the thread already runs as the process.
//   SetThreadToken    TRUE for a null token (back to the process's
//                     identity); FALSE with ERROR_INVALID_HANDLE otherwise,
//                     since no token can have been opened.
// Callers that retry a refused call as the process ("as self") therefore
// never repeat it here; the code keeps its shape for a platform that
// impersonates.
#pragma once

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

#define TOKEN_IMPERSONATE 0x0004
#define TOKEN_QUERY 0x0008

HANDLE GetCurrentThread();
BOOL OpenThreadToken(HANDLE ThreadHandle, DWORD DesiredAccess, BOOL OpenAsSelf, PHANDLE TokenHandle);
BOOL RevertToSelf();
BOOL SetThreadToken(PHANDLE Thread, HANDLE Token);

VLT_API_END
