// platform/isapi: the ISAPI interface (httpext.h) between the web server
// (vltadmin-host) and an extension library: the version record, the
// extension control block with its callbacks, and the three exports the
// host resolves by name. Types only.
//
// Backed by: vltadmin-host (dozuzudi/server), which fills the control block
// and serves the callbacks over its HTTP connection.
// Threads: see REQUIRES below; the host calls the exports from its I/O
// threads.
// Failures: callbacks answer FALSE when they cannot do what was asked (a bad
// argument, a connection that is gone).
// Our choices: one control block per request; a chunked body is announced
// as cbTotalBytes 0xFFFFFFFF; the extension frames its own responses.
//
// REQUIRES: the callbacks may be called from any thread while the request is
// pending (after HttpExtensionProc returned HSE_STATUS_PENDING and until the
// extension sends HSE_REQ_DONE_WITH_SESSION). ConnID, lpbData and the strings
// stay valid for that whole time.
#pragma once

#include "platform/base/api.h"
#include "platform/base/wintypes.h"

VLT_API_BEGIN

typedef LPVOID HCONN;

#define HSE_VERSION_MAJOR 8
#define HSE_VERSION_MINOR 0
#define HSE_MAX_EXT_DLL_NAME_LEN 256
#define HSE_LOG_BUFFER_LEN 80

#define HSE_STATUS_SUCCESS 1
#define HSE_STATUS_SUCCESS_AND_KEEP_CONN 2
#define HSE_STATUS_PENDING 3
#define HSE_STATUS_ERROR 4

#define HSE_REQ_SEND_RESPONSE_HEADER 3
#define HSE_REQ_DONE_WITH_SESSION 4
#define HSE_REQ_SEND_RESPONSE_HEADER_EX 1016

#define HSE_IO_SYNC 0x00000001
#define HSE_IO_ASYNC 0x00000002
#define HSE_IO_NODELAY 0x00001000

#define HSE_TERM_ADVISORY_UNLOAD 0x00000001
#define HSE_TERM_MUST_UNLOAD 0x00000002

struct HSE_VERSION_INFO {
  DWORD dwExtensionVersion;
  CHAR lpszExtensionDesc[HSE_MAX_EXT_DLL_NAME_LEN];
};
typedef HSE_VERSION_INFO* LPHSE_VERSION_INFO;

struct EXTENSION_CONTROL_BLOCK {
  DWORD cbSize;            // size of this structure
  DWORD dwVersion;         // HSE_VERSION_MAJOR << 16 | HSE_VERSION_MINOR
  HCONN ConnID;            // passed back to every callback
  DWORD dwHttpStatusCode;  // status for the access log
  CHAR lpszLogData[HSE_LOG_BUFFER_LEN];
  LPSTR lpszMethod;
  LPSTR lpszQueryString;
  LPSTR lpszPathInfo;
  LPSTR lpszPathTranslated;
  DWORD cbTotalBytes;  // Content-Length; 0xFFFFFFFF for a chunked body
  DWORD cbAvailable;   // bytes of the body already in lpbData
  LPBYTE lpbData;
  LPSTR lpszContentType;

  BOOL(WINAPI* GetServerVariable)(HCONN hConn, LPSTR lpszVariableName, LPVOID lpvBuffer,
                                  LPDWORD lpdwSize);
  BOOL(WINAPI* WriteClient)(HCONN ConnID, LPVOID Buffer, LPDWORD lpdwBytes, DWORD dwReserved);
  BOOL(WINAPI* ReadClient)(HCONN ConnID, LPVOID lpvBuffer, LPDWORD lpdwSize);
  BOOL(WINAPI* ServerSupportFunction)(HCONN hConn, DWORD dwHSERequest, LPVOID lpvBuffer,
                                      LPDWORD lpdwSize, LPDWORD lpdwDataType);
};
typedef EXTENSION_CONTROL_BLOCK* LPEXTENSION_CONTROL_BLOCK;

struct HSE_SEND_HEADER_EX_INFO {
  LPCSTR pszStatus;  // "200 OK": code and reason, no protocol version
  LPCSTR pszHeader;  // header lines with the closing empty line, or null
  DWORD cchStatus;   // bytes of pszStatus without terminator
  DWORD cchHeader;   // bytes of pszHeader without terminator
  BOOL fKeepConn;
};
typedef HSE_SEND_HEADER_EX_INFO* LPHSE_SEND_HEADER_EX_INFO;

typedef BOOL(WINAPI* PFN_GETEXTENSIONVERSION)(HSE_VERSION_INFO* pVer);
typedef DWORD(WINAPI* PFN_HTTPEXTENSIONPROC)(EXTENSION_CONTROL_BLOCK* pECB);
typedef BOOL(WINAPI* PFN_TERMINATEEXTENSION)(DWORD dwFlags);
VLT_API_END
