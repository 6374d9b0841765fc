#include "admin/host/extension_exports.h"

extern "C" BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO*) { return FALSE; }
extern "C" DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK*) { return HSE_STATUS_ERROR; }
extern "C" BOOL WINAPI TerminateExtension(DWORD) { return TRUE; }
