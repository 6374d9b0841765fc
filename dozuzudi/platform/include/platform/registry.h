// The registry, read from a file in the .reg export format.
//
// File: the path in the VLTADMIN_REGISTRY environment variable, else the
// installed default (VLTADMIN_DEFAULT_REGISTRY, set at build time). The file
// is re-read when its size, modification time or inode changes, checked at
// every RegOpenKeyExW, so values read per request see edits without restart.
//
// Format: the header line "Windows Registry Editor Version 5.00" (or
// "REGEDIT4"); sections "[HKEY_LOCAL_MACHINE\path]" (also HKLM, HKEY_CLASSES_ROOT,
// HKCR, HKEY_CURRENT_USER, HKCU, HKEY_USERS); "[-...]" deletes a key read
// earlier; values "Name"=... or @=... (the default value) as "text" (with the
// \\ and \" escapes), dword:XXXXXXXX, qword:..., hex:..., hex(N):... (2 is
// REG_EXPAND_SZ, 7 REG_MULTI_SZ, b REG_QWORD), with "\" line continuations;
// "Name"=- deletes a value; ";" starts a comment line; LF or CRLF line ends;
// a UTF-8 (optionally with BOM) or UTF-16LE (with BOM) file.
// Key and value names compare without regard to case. Subkeys of a section
// exist even when the file names only deeper sections.
//
// A malformed file is reported once on standard error (file, line, reason)
// and read as an empty registry. A missing file is an empty registry.
//
// REQUIRES: keys are read-only; there is no RegSetValueExW. The 32-bit and
// 64-bit views (KEY_WOW64_32KEY, KEY_WOW64_64KEY) are the same view.
// Thread safe: any thread may open, query and close keys concurrently.
#pragma once

#include <string>

#include "platform/wintypes.h"

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000003u)))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define KEY_QUERY_VALUE 0x0001
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

// ERROR_SUCCESS, or ERROR_FILE_NOT_FOUND when the key does not exist,
// ERROR_INVALID_HANDLE for a bad hKey, ERROR_ACCESS_DENIED when write access
// is asked for.
LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   PHKEY phkResult);
// lpValueName null or empty: the default value. lpData null: only the size
// and type. ERROR_MORE_DATA (with *lpcbData = size needed) when the buffer is
// too small. String values include their terminator in the size.
LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
// Subkey names in file order; ERROR_NO_MORE_ITEMS past the last.
LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                   LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass, void* lpftLastWriteTime);
LONG RegCloseKey(HKEY hKey);

namespace platform {
// The registry file in use (VLTADMIN_REGISTRY or the installed default).
std::string RegistryFilePath();
}  // namespace platform
