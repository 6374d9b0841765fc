// platform/base: the kernel's base services (kernel32's part that is not
// files): the Windows types and codes (this header), handles (handle.h),
// the heap and LocalAlloc (heap.h, files.h), threads, critical sections,
// events and interlocked operations (sync.h), modules (module.h) and the
// thread's last-error slot (below), with errno mapped to Win32 codes
// (win32_error.h). Exports are declared between VLT_API_BEGIN/END (api.h).
//
// Backed by: the C++ standard library (std::thread, std::mutex,
// std::condition_variable, std::atomic), malloc, and the dynamic loader
// (dlopen, dlsym, dladdr).
// Threads: every function may be called from any thread; GetLastError is
// per thread, as on Windows.
// Failures: the Windows way: FALSE, null or a status, with GetLastError set
// to the Win32 code each header names; nothing throws.
// Our choices: text is UTF-16 (WCHAR is char16_t, literals u"..."); a
// HANDLE is a pointer to a platform::CKernelObject; threads are detached at
// CloseHandle, never joined; named events are refused; the module name rule
// and search order of module.h; HeapAlloc and LocalAlloc never throw and
// LocalFree wipes the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include "platform/base/api.h"

VLT_API_BEGIN

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint64_t DWORD64;
typedef uint64_t ULONGLONG;
typedef int64_t LONGLONG;
typedef union _LARGE_INTEGER {
  struct {
    uint32_t LowPart;
    int32_t HighPart;
  } u;
  int64_t QuadPart;
} LARGE_INTEGER;
typedef int32_t BOOL;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef char CHAR;
typedef unsigned char UCHAR;
typedef char16_t WCHAR;
typedef int32_t HRESULT;
typedef uint32_t NET_API_STATUS;
typedef int32_t NTSTATUS;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef DWORD_PTR* PDWORD_PTR;
typedef size_t SIZE_T;
typedef uint32_t REGSAM;

typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;
typedef BYTE* PBYTE;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef LONG* PLONG;
typedef BOOL* LPBOOL;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* PCWSTR;

typedef void* HANDLE;
typedef HANDLE* PHANDLE;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
// void (*)() so that casts to the real signature are allowed without warnings.
typedef void (*FARPROC)();
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID);

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define INFINITE 0xFFFFFFFFu
#define MAX_PATH 260

// Win32 error codes.
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_BAD_FORMAT 11L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PASSWORD 86L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_LOGON_FAILURE 1326L
#define ERROR_NO_SUCH_DOMAIN 1355L
#define ERROR_BADKEY 1010L
#define ERROR_NO_TOKEN 1008L
#define RPC_S_SERVER_UNAVAILABLE 1722L
#define ERROR_DS_CONSTRAINT_VIOLATION 8239L

// Network management statuses.
#define NERR_Success 0
#define NERR_BadPassword 2203
#define NERR_GroupNotFound 2220
#define NERR_PasswordExpired 2242
#define NERR_PasswordHistConflict 2244
#define NERR_PasswordTooShort 2245
#define NERR_PasswordTooRecent 2246
#define NERR_InvalidComputer 2351

// HRESULTs.
#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define E_NOTIMPL static_cast<HRESULT>(0x80004001u)
#define E_NOINTERFACE static_cast<HRESULT>(0x80004002u)
#define E_POINTER static_cast<HRESULT>(0x80004003u)
#define E_ABORT static_cast<HRESULT>(0x80004004u)
#define E_FAIL static_cast<HRESULT>(0x80004005u)
#define E_UNEXPECTED static_cast<HRESULT>(0x8000FFFFu)
#define E_ACCESSDENIED static_cast<HRESULT>(0x80070005u)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000Eu)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057u)
#define RPC_E_CHANGED_MODE static_cast<HRESULT>(0x80010106u)
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0u)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154u)
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE static_cast<HRESULT>(0x80040111u)
#define E_ADS_BAD_PARAMETER static_cast<HRESULT>(0x80005008u)

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define FACILITY_WIN32 7
#define HRESULT_FROM_WIN32(x)                                                   \
  (static_cast<HRESULT>(x) <= 0                                                 \
       ? static_cast<HRESULT>(x)                                                \
       : static_cast<HRESULT>((static_cast<uint32_t>(x) & 0x0000FFFFu) |        \
                              (FACILITY_WIN32 << 16) | 0x80000000u))

// NTSTATUS values.
#define STATUS_SUCCESS static_cast<NTSTATUS>(0)
#define STATUS_UNSUCCESSFUL static_cast<NTSTATUS>(0xC0000001u)
#define STATUS_NO_MEMORY static_cast<NTSTATUS>(0xC0000017u)

// Wait results.
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu

// Thread error slot (per thread, as on Windows).
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);
VLT_API_END
