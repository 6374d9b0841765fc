// Opening, reading and writing files; device requests.
#include "platform/files/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files/file_object.h"
#include "platform/trace/trace_device.h"
#include "platform/text/wstr.h"
#include "platform/base/win32_error.h"

namespace {

constexpr DWORD kFileReadData = 0x0001;
constexpr DWORD kFileWriteData = 0x0002;
constexpr DWORD kFileAppendData = 0x0004;
constexpr DWORD kGenericAll = 0x10000000;

bool IsDeviceName(LPCWSTR name) {
  return name[0] == u'\\' && name[1] == u'\\' && name[2] == u'.' && name[3] == u'\\';
}

}  // namespace

namespace platform {

CFile* FileFromHandle(HANDLE h) {
  auto* file = dynamic_cast<CFile*>(FromHandle(h));
  if (file == nullptr) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

std::string PosixPath(LPCWSTR path) {
  std::string result = ToUtf8(path);
  for (char& c : result)
    if (c == '\\') c = '/';
  return result;
}

}  // namespace platform

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
  if (lpFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (IsDeviceName(lpFileName)) return platform::OpenDevice(lpFileName);
  if (lpFileName[0] == 0) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  bool fRead = (dwDesiredAccess & (GENERIC_READ | kGenericAll | kFileReadData)) != 0;
  bool fWrite =
      (dwDesiredAccess & (GENERIC_WRITE | kGenericAll | kFileWriteData | kFileAppendData)) != 0;
  int flags = O_CLOEXEC | (fWrite ? (fRead ? O_RDWR : O_WRONLY) : O_RDONLY);
  switch (dwCreationDisposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
      if (!fWrite) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      flags |= O_TRUNC;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }

  std::string path = platform::PosixPath(lpFileName);
  struct stat st;
  bool fExisted = stat(path.c_str(), &st) == 0;
  mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
  int fd = open(path.c_str(), flags, mode);
  if (fd < 0) {
    platform::SetLastErrorFromErrno(path);
    return INVALID_HANDLE_VALUE;
  }
  // As on Windows, a directory is not opened as a file.
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  bool fMayExist = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
  SetLastError(fMayExist && fExisted ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return platform::ToHandle(new platform::CFile(fd));
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, void* lpOverlapped) {
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  if (lpOverlapped != nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  platform::CFile* file = platform::FileFromHandle(hFile);
  if (file == nullptr) return FALSE;
  DWORD cbDone = 0;
  while (cbDone < nNumberOfBytesToRead) {
    ssize_t n = read(file->Fd(), static_cast<char*>(lpBuffer) + cbDone, nNumberOfBytesToRead - cbDone);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      platform::SetLastErrorFromErrno();
      return FALSE;
    }
    if (n == 0) break;  // end of file
    cbDone += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = cbDone;
  return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, void* lpOverlapped) {
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  if (lpOverlapped != nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  platform::CFile* file = platform::FileFromHandle(hFile);
  if (file == nullptr) return FALSE;
  DWORD cbDone = 0;
  while (cbDone < nNumberOfBytesToWrite) {
    ssize_t n = write(file->Fd(), static_cast<const char*>(lpBuffer) + cbDone,
                      nNumberOfBytesToWrite - cbDone);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = cbDone;
      platform::SetLastErrorFromErrno();
      return FALSE;
    }
    cbDone += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = cbDone;
  return TRUE;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  platform::CFile* file = platform::FileFromHandle(hFile);
  struct stat st;
  if (file == nullptr || fstat(file->Fd(), &st) != 0) {
    if (file != nullptr) platform::SetLastErrorFromErrno();
    return INVALID_FILE_SIZE;
  }
  auto cb = static_cast<uint64_t>(st.st_size);
  if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(cb >> 32);
  // A low part that equals INVALID_FILE_SIZE is told apart by GetLastError.
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(cb);
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, void*) {
  platform::CKernelObject* object = platform::FromHandle(hDevice);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return object->IoControl(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize,
                           lpBytesReturned);
}
