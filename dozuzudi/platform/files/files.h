// platform/files: files, directories, read-only file mappings, the
// command line, device control and LocalAlloc/LocalFree (kernel32's file
// part).
//
// Backed by: POSIX calls on the kernel (open, read, mmap, opendir, rename).
// Threads: every function may be called from any thread; a handle is used
// by one thread at a time.
// Failures: INVALID_HANDLE_VALUE, FALSE or the sentinel each function names,
// with GetLastError from errno: ENOENT gives ERROR_FILE_NOT_FOUND, or
// ERROR_PATH_NOT_FOUND when the directory is missing too; ENOTDIR
// ERROR_PATH_NOT_FOUND; EACCES, EPERM, EROFS, EISDIR ERROR_ACCESS_DENIED;
// EEXIST ERROR_FILE_EXISTS (ERROR_ALREADY_EXISTS for CreateDirectoryW);
// ENOTEMPTY ERROR_DIR_NOT_EMPTY; ENOSPC ERROR_DISK_FULL (112); others as
// win32_error.cc lists.
// Our choices: paths are UTF-16 and a backslash is a separator (turned into
// "/"); nothing else is translated: no drive letters, and names are as case
// sensitive as the file system. A path beginning with "\\.\" names a device:
// CreateFileW hands it to the device layer (platform/trace/trace_device.h).
// Mappings are read-only; there is no FindNextFileW; CopyFileW writes beside
// the destination and renames, so a copy is never seen half written.
#pragma once

#include <string>

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define PAGE_READONLY 0x02
#define FILE_MAP_READ 0x0004

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATAW;

// INVALID_HANDLE_VALUE on failure, with GetLastError set. The share mode,
// security attributes and template are ignored; GENERIC_READ/GENERIC_WRITE
// choose the open mode (no access right opens for reading). A directory is
// refused with ERROR_ACCESS_DENIED. FILE_ATTRIBUTE_READONLY makes a created
// file read-only. CREATE_ALWAYS and OPEN_ALWAYS on an existing file succeed
// with GetLastError ERROR_ALREADY_EXISTS, otherwise 0.
HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
// REQUIRES: lpOverlapped is null (ERROR_NOT_SUPPORTED otherwise); hFile is a
// file from CreateFileW (ERROR_INVALID_HANDLE otherwise). ReadFile reads until
// the count or the end of the file.
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, void* lpOverlapped);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, void* lpOverlapped);
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);

// Read-only mappings of files. flProtect must be PAGE_READONLY
// (ERROR_INVALID_PARAMETER) and lpName null (ERROR_NOT_SUPPORTED); a maximum
// size of 0 maps the whole file, one beyond its end gives
// ERROR_ACCESS_DENIED. A zero-length file cannot be mapped (ERROR_FILE_INVALID,
// 1006). A mapping and its views stay valid after the handles they came from
// are closed. Views start at multiples of 64 KiB (else
// ERROR_MAPPED_ALIGNMENT, 1132); a length of 0 maps to the end; access must be
// FILE_MAP_READ (or FILE_MAP_COPY, which reads too).
// REQUIRES: the file is not shortened while a view of it exists.
HANDLE CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES lpAttributes, DWORD flProtect,
                          DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCWSTR lpName);
LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                     DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap);
BOOL UnmapViewOfFile(LPCVOID lpBaseAddress);

// Finds the first file matching the path: a plain path is an existence
// check; "*" and "?" in the last component match names without regard to
// case. There is no FindNextFileW. The handle is closed with FindClose.
HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
BOOL FindClose(HANDLE hFindFile);
// FILE_ATTRIBUTE_DIRECTORY for a directory, FILE_ATTRIBUTE_READONLY when the
// owner may not write, else FILE_ATTRIBUTE_NORMAL; INVALID_FILE_ATTRIBUTES
// with GetLastError on failure.
DWORD GetFileAttributesW(LPCWSTR lpFileName);
BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
BOOL RemoveDirectoryW(LPCWSTR lpPathName);
BOOL DeleteFileW(LPCWSTR lpFileName);
// Copies contents, permission bits and times; bFailIfExists FALSE replaces
// (TRUE fails with ERROR_FILE_EXISTS). The copy is written beside the
// destination and renamed into place, so the destination is never seen
// partly written, and an existing destination stays whole on failure.
BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists);

// The process's command line: its arguments joined by single spaces; an
// argument holding a space or a tab, or an empty one, is put in double
// quotes. Read once; the same buffer is returned every time.
LPWSTR GetCommandLineW();

// Device I/O control on a device handle (see device.h): the handle's
// CKernelObject::IoControl; lpOverlapped is ignored.
BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                     DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                     LPDWORD lpBytesReturned, void* lpOverlapped);

// Heap blocks of the Windows API (LocalAlloc with LMEM_FIXED, optionally
// LMEM_ZEROINIT; other flags give ERROR_INVALID_PARAMETER). LocalFree wipes
// the block before freeing it and returns null.
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
void* LocalAlloc(UINT uFlags, SIZE_T uBytes);
void* LocalFree(void* hMem);

namespace platform {
// A UTF-16 Windows path as a POSIX path in UTF-8 ("\" becomes "/").
std::string PosixPath(LPCWSTR path);
}  // namespace platform
VLT_API_END
