// Looking files up: FindFirstFileW, FindClose, GetFileAttributesW.
#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "platform/files/files.h"
#include "platform/base/handle.h"
#include "platform/text/wstr.h"
#include "platform/base/win32_error.h"

namespace {

// A finished search; FindNextFileW is not offered, so it holds nothing.
class CFind : public platform::CKernelObject {};

DWORD AttributesOf(const struct stat& st) {
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

FILETIME FileTimeOf(const struct timespec& ts) {
  // 100 ns intervals since 1601-01-01.
  uint64_t n = (static_cast<uint64_t>(ts.tv_sec) + 11644473600ull) * 10000000ull +
               static_cast<uint64_t>(ts.tv_nsec) / 100;
  return FILETIME{static_cast<DWORD>(n), static_cast<DWORD>(n >> 32)};
}

void Fill(const struct stat& st, const std::string& name, WIN32_FIND_DATAW* data) {
  std::memset(data, 0, sizeof *data);
  data->dwFileAttributes = AttributesOf(st);
  data->ftCreationTime = FileTimeOf(st.st_ctim);
  data->ftLastAccessTime = FileTimeOf(st.st_atim);
  data->ftLastWriteTime = FileTimeOf(st.st_mtim);
  if (!S_ISDIR(st.st_mode)) {
    data->nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
    data->nFileSizeLow = static_cast<DWORD>(st.st_size);
  }
  std::u16string wide = platform::FromUtf8(name);
  size_t cch = wide.size() < MAX_PATH - 1 ? wide.size() : MAX_PATH - 1;
  std::memcpy(data->cFileName, wide.data(), cch * sizeof(WCHAR));
}

// "*" any run, "?" one unit; letters match without regard to case, as
// Windows matches names.
bool Matches(const char16_t* pattern, const char16_t* name) {
  if (*pattern == 0) return *name == 0;
  if (*pattern == u'*') {
    for (const char16_t* rest = name;; ++rest) {
      if (Matches(pattern + 1, rest)) return true;
      if (*rest == 0) return false;
    }
  }
  if (*name == 0) return false;
  if (*pattern != u'?' && towlower(*pattern) != towlower(*name)) return false;
  return Matches(pattern + 1, name + 1);
}

}  // namespace

HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  if (lpFileName == nullptr || lpFindFileData == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string path = platform::PosixPath(lpFileName);
  size_t slash = path.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  if (last.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (last.find_first_of("*?") == std::string::npos) {
    if (stat(path.c_str(), &st) != 0) {
      platform::SetLastErrorFromErrno(path);
      return INVALID_HANDLE_VALUE;
    }
    Fill(st, last, lpFindFileData);
    return platform::ToHandle(new CFind);
  }

  DIR* d = opendir(dir.c_str());
  if (d == nullptr) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string pattern = platform::FromUtf8(last);
  bool fFound = false;
  while (struct dirent* entry = readdir(d)) {
    std::string name = entry->d_name;
    if (!Matches(pattern.c_str(), platform::FromUtf8(name).c_str())) continue;
    if (stat((dir + "/" + name).c_str(), &st) != 0) continue;
    Fill(st, name, lpFindFileData);
    fFound = true;
    break;
  }
  closedir(d);
  if (!fFound) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return platform::ToHandle(new CFind);
}

BOOL FindClose(HANDLE hFindFile) {
  auto* find = dynamic_cast<CFind*>(platform::FromHandle(hFindFile));
  if (find == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete find;
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  if (lpFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  std::string path = platform::PosixPath(lpFileName);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    platform::SetLastErrorFromErrno(path);
    return INVALID_FILE_ATTRIBUTES;
  }
  return AttributesOf(st);
}
