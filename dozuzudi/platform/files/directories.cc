// Creating and removing directories; deleting files.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files/files.h"
#include "platform/base/win32_error.h"

namespace {
constexpr DWORD kErrorDirectory = 267;  // not a directory
}

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  if (lpPathName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path = platform::PosixPath(lpPathName);
  if (mkdir(path.c_str(), 0777) != 0) {
    if (errno == EEXIST)
      SetLastError(ERROR_ALREADY_EXISTS);
    else if (errno == ENOENT)
      SetLastError(ERROR_PATH_NOT_FOUND);
    else
      platform::SetLastErrorFromErrno(path);
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
  if (lpPathName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path = platform::PosixPath(lpPathName);
  if (rmdir(path.c_str()) != 0) {
    if (errno == ENOTDIR)
      SetLastError(kErrorDirectory);
    else if (errno == EEXIST)
      SetLastError(ERROR_DIR_NOT_EMPTY);
    else
      platform::SetLastErrorFromErrno(path);
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  if (lpFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path = platform::PosixPath(lpFileName);
  // unlink refuses a directory with EISDIR, which maps to ERROR_ACCESS_DENIED
  // as on Windows.
  if (unlink(path.c_str()) != 0) {
    platform::SetLastErrorFromErrno(path);
    return FALSE;
  }
  return TRUE;
}
