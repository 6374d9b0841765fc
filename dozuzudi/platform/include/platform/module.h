// Module loading by Windows module name.
//
// Name rule: the file part of the name is put in lower case, a trailing
// ".dll" is removed, and the result becomes "lib<name>.so": "vltadmin.dll"
// is libvltadmin.so, "ACTIVEDS.DLL" libactiveds.so, "netwin32.dll"
// libnetwin32.so. A name that already ends in ".so" is used as it is.
// Search order: a name holding a directory is loaded from there; otherwise
// each directory of VLTADMIN_MODULE_PATH (colon-separated), then the
// directory of the platform library itself, then the dynamic loader's own
// search.
//
// Loading a module runs its load-time constructors (the process-attach work
// of a Windows DllMain). LoadLibraryW counts references as dlopen does.
#pragma once

#include <string>

#include "platform/wintypes.h"

HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);
// The full path of the module's file (null: the main program), with "/"
// separators, truncated to nSize - 1 units and terminated; the length copied,
// 0 on failure.
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

namespace platform {
// The file name the rule above gives for a module name.
std::string ModuleFileName(const std::string& moduleName);
// The module containing an address (for a library to find its own handle).
HMODULE ModuleFromAddress(const void* address);
}  // namespace platform
