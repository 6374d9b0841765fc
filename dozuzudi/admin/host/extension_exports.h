// The ISAPI entry points the web server resolves by name.
#pragma once

#include "platform/isapi/isapi.h"

extern "C" {
BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* info);
DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB);
BOOL WINAPI TerminateExtension(DWORD dwFlags);
}
