// The ISAPI entry points the web server resolves by name.
#pragma once

#include "platform/isapi/isapi.h"

extern "C" {
BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* info);
DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB);
BOOL WINAPI TerminateExtension(DWORD dwFlags);
// Not an ISAPI entry point: the extension's statistics in the Prometheus text
// format, for a web server that serves them (vltadmin-host resolves it when
// present). Writes the text with a NUL into |pszText| when *pcbText bytes
// hold it, and sets *pcbText to the bytes needed; FALSE when they did not.
BOOL WINAPI GetExtensionMetrics(LPSTR pszText, LPDWORD pcbText);
}
