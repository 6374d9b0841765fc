// The control block's callbacks. Each finds its request through ConnID and
// may be called from any thread; ReadClient and WriteClient block the
// calling thread (never an io thread) until the connection's io thread has
// done the work or its timeout ended it.
#pragma once

#include "platform/isapi/isapi.h"

BOOL WINAPI IsapiGetServerVariable(HCONN hConn, LPSTR lpszVariableName, LPVOID lpvBuffer,
                                   LPDWORD lpdwSize);
BOOL WINAPI IsapiWriteClient(HCONN ConnID, LPVOID Buffer, LPDWORD lpdwBytes, DWORD dwReserved);
BOOL WINAPI IsapiReadClient(HCONN ConnID, LPVOID lpvBuffer, LPDWORD lpdwSize);
BOOL WINAPI IsapiServerSupportFunction(HCONN hConn, DWORD dwHSERequest, LPVOID lpvBuffer,
                                       LPDWORD lpdwSize, LPDWORD lpdwDataType);
