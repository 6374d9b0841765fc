// platform/registry: the registry functions of advapi32 (RegOpenKeyExW,
// RegQueryValueExW, RegEnumKeyExW, RegCloseKey), read-only.
//
// Backed by: a file in the .reg export format, parsed by our own parser
// (reg_file_parser.cc) into immutable snapshots.
// Threads: any thread may open, query and close keys concurrently.
// Failures: a Win32 status from every call (below); a malformed file reads
// as an empty registry and is reported on standard error.
// Our choices: there is no RegSetValueExW; the 32-bit and 64-bit views
// (KEY_WOW64_32KEY, KEY_WOW64_64KEY) are one view; the file is found and
// re-read as follows, and platform::ReadRegistryText/Utf8 (end of this
// header) are the one way the platform reads its own string settings.
//
// File: the path in the VLTADMIN_REGISTRY environment variable, else the
// installed default (VLTADMIN_DEFAULT_REGISTRY, set at build time). The file
// is re-read when its size, modification time (ns) or inode changes, so
// values read per request see edits without restart. It is checked by the
// first RegOpenKeyExW or query on a predefined root made at least 100 ms
// after the last check (by a coarse clock: plus a few ms), so an open costs
// no system call; an edit is seen by the opens that start that long after
// it. A different path (the environment variable changed) is read at once.
// (Saving by rename, as editors do, always counts as a change.) Each reading
// is an immutable snapshot: a key opened from a predefined root keeps the
// snapshot it was found in until it is closed, and keys opened relative to
// it, and its values, come from that same snapshot.
//
// Format: the header line "Windows Registry Editor Version 5.00" (or
// "REGEDIT4") as the first line that is not blank; sections
// "[HKEY_LOCAL_MACHINE\path]" (also HKLM, HKEY_CLASSES_ROOT, HKCR,
// HKEY_CURRENT_USER, HKCU, HKEY_USERS, HKU); "[-...]" deletes a key read
// earlier with its subkeys (values that follow it are ignored up to the next
// section); values "Name"=... or @=... (the default value, also ""=...) as
// "text" (with the escapes \\ and \"; any other backslash stays as written),
// dword: with 1 to 8 hex digits, qword: with 1 to 16, hex:..., hex(N):... (N in
// hex: 2 is REG_EXPAND_SZ, 7 REG_MULTI_SZ, b REG_QWORD; the bytes are kept as
// written, for strings UTF-16LE as regedit writes them), with a trailing
// backslash continuing the bytes on the next line; "Name"=- deletes a value;
// ";" starts a comment (a line, or after a value); leading and trailing blanks
// are ignored; LF or CRLF line ends; a UTF-8 (optionally with BOM) or
// UTF-16LE (with BOM) file. A "text" value is REG_SZ, stored UTF-16LE with its
// terminator. A value named twice keeps the last data.
// Key and value names compare without regard to case (the folding of
// _wcsicmp, wstr.h). Subkeys of a section exist even when the file names
// only deeper sections.
//
// A malformed file (bad or missing header, unterminated section bracket or
// string, unknown root, bad dword/qword/hex data, invalid UTF-8, a value
// outside any section, any other line) is reported once per version of the
// file on standard error (file, line, reason) and read as an empty registry.
// A missing file is an empty registry, silently.
//
// An opened HKEY is never equal to a predefined root; closing a predefined
// root succeeds and does nothing; a closed or unknown HKEY gives
// ERROR_INVALID_HANDLE.
#pragma once

#include <string>

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

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
// is asked for, ERROR_INVALID_PARAMETER for a null phkResult. On failure
// *phkResult is null. lpSubKey null or empty opens a new handle to hKey's own
// key; empty components (doubled or trailing backslashes) are skipped.
LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   PHKEY phkResult);
// lpValueName null or empty: the default value. lpData null: only the size
// and type. ERROR_MORE_DATA (with *lpcbData = size needed) when the buffer is
// too small (nothing is copied; the type is still stored). String values
// include their terminator in the size. ERROR_FILE_NOT_FOUND for a missing
// value; ERROR_INVALID_PARAMETER when lpReserved is given, or lpData without
// lpcbData.
LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
// Subkey names in file order; ERROR_NO_MORE_ITEMS past the last.
// *lpcchName: capacity in units with the terminator on entry, the length
// without it on return; ERROR_MORE_DATA (nothing copied) when too small.
// The class is empty; *lpftLastWriteTime, when given, a FILETIME of zero.
LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                   LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass, void* lpftLastWriteTime);
LONG RegCloseKey(HKEY hKey);

namespace platform {
// The registry file in use (VLTADMIN_REGISTRY or the installed default).
std::string RegistryFilePath();
// Makes the next open check the file at once (a start that must see the
// latest edit, such as a reload, calls it first).
void CheckRegistryFileNow();

// A REG_SZ or REG_EXPAND_SZ value (taken as written, never expanded) as its
// text: the units before the first NUL, or every unit when the data has no
// terminator, as a Windows caller reading the string sees it. Empty when the
// value is missing, is not a string, or hKey is not an open key.
// lpValueName null or empty: the default value.
std::u16string ReadRegistryText(HKEY hKey, LPCWSTR lpValueName);
// The same text in UTF-8 (ToUtf8).
std::string ReadRegistryUtf8(HKEY hKey, LPCWSTR lpValueName);
}  // namespace platform
VLT_API_END
