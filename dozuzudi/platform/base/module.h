// Module loading by Windows module name.
//
// Name rule: the file part of the name ("\\" and "/" separate directories) is
// put in lower case (ASCII letters), a trailing
// ".dll" is removed, and the result becomes "lib<name>.so": "vltadmin.dll"
// is libvltadmin.so, "ACTIVEDS.DLL" libactiveds.so, "netwin32.dll"
// libnetwin32.so. A name that already ends in ".so" is used as it is.
// Search order: a name holding a directory is loaded from there; otherwise
// each directory of VLTADMIN_MODULE_PATH (colon-separated), then the
// directory of the platform library itself, then the dynamic loader's own
// search. The first file found is the one loaded (a file that fails to load
// fails the call; the search does not go on).
//
// Loading a module runs its load-time constructors (the process-attach work
// of a Windows DllMain). LoadLibraryW counts references as dlopen does.
//
// An HMODULE is the dynamic loader's handle of the module (dlopen's result),
// so a module has one HMODULE whichever way it was obtained. Modules are
// loaded with RTLD_NOW (a missing symbol fails the load) and RTLD_LOCAL.
// Failures: LoadLibraryW ERROR_MOD_NOT_FOUND (also for a file that exists but
// cannot be loaded), GetProcAddress ERROR_PROC_NOT_FOUND.
// REQUIRES: handles given to GetProcAddress, FreeLibrary and
// GetModuleFileNameW come from this header (they cannot be checked).
#pragma once

#include <string>

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
// hModule null searches the global scope (the program and its libraries).
// Ordinals are not supported.
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);
// The full path of the module's file (null: the main program), with "/"
// separators, terminated; returns its length. When it does not fit, it is
// truncated to nSize - 1 units and terminated, and nSize is returned with
// ERROR_INSUFFICIENT_BUFFER (as Windows does). 0 on failure.
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

namespace platform {
// The file name the rule above gives for a module name.
std::string ModuleFileName(const std::string& moduleName);
// The module containing an address (for a library to find its own handle);
// no reference is added (as GetModuleHandle). Null, with ERROR_MOD_NOT_FOUND,
// for an address in no module.
HMODULE ModuleFromAddress(const void* address);
}  // namespace platform
VLT_API_END
