// Read-only file mappings over mmap.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <unordered_map>

#include "platform/files/file_object.h"
#include "platform/files/files.h"
#include "platform/base/sync.h"
#include "platform/base/thread_annotations.h"
#include "platform/base/win32_error.h"

namespace {

constexpr DWORD kErrorFileInvalid = 1006;
constexpr DWORD kErrorMappedAlignment = 1132;
constexpr DWORD kFileMapCopy = 0x0001;
constexpr uint64_t kAllocationGranularity = 0x10000;  // view offsets, as on Windows

// A mapping keeps its own descriptor, so it outlives the file handle it was
// made from, as on Windows.
class CFileMapping : public platform::CKernelObject {
 public:
  CFileMapping(int fd, uint64_t cb) : m_fd(fd), m_cb(cb) {}
  ~CFileMapping() override { close(m_fd); }
  CFileMapping(const CFileMapping&) = delete;
  CFileMapping& operator=(const CFileMapping&) = delete;

  int Fd() const { return m_fd; }
  uint64_t Size() const { return m_cb; }

 private:
  const int m_fd;
  const uint64_t m_cb;
};

// Views and their lengths, which munmap needs and UnmapViewOfFile is not
// given. A view stays valid when its mapping handle is closed.
class CViews {
 public:
  CViews() { InitializeCriticalSection(&m_lock); }

  void Add(void* p, size_t cb) EXCLUDES(m_lock) {
    EnterCriticalSection(&m_lock);
    m_views[p] = cb;
    LeaveCriticalSection(&m_lock);
  }

  // The length of the view at |p| (which is forgotten); 0 if there is none.
  size_t Take(const void* p) EXCLUDES(m_lock) {
    EnterCriticalSection(&m_lock);
    size_t cb = 0;
    auto it = m_views.find(const_cast<void*>(p));
    if (it != m_views.end()) {
      cb = it->second;
      m_views.erase(it);
    }
    LeaveCriticalSection(&m_lock);
    return cb;
  }

 private:
  CRITICAL_SECTION m_lock;
  std::unordered_map<void*, size_t> m_views GUARDED_BY(m_lock);
};

CViews& Views() {
  static CViews* s_views = new CViews;
  return *s_views;
}

}  // namespace

HANDLE CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES, DWORD flProtect,
                          DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCWSTR lpName) {
  if (lpName != nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  if (flProtect != PAGE_READONLY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  platform::CFile* file = platform::FileFromHandle(hFile);
  if (file == nullptr) return nullptr;
  struct stat st;
  if (fstat(file->Fd(), &st) != 0) {
    platform::SetLastErrorFromErrno();
    return nullptr;
  }
  uint64_t cbFile = static_cast<uint64_t>(st.st_size);
  uint64_t cb = static_cast<uint64_t>(dwMaximumSizeHigh) << 32 | dwMaximumSizeLow;
  if (cb == 0) cb = cbFile;
  if (cb == 0) {
    SetLastError(kErrorFileInvalid);  // an empty file cannot be mapped
    return nullptr;
  }
  if (cb > cbFile) {
    SetLastError(ERROR_ACCESS_DENIED);  // a read-only mapping cannot grow the file
    return nullptr;
  }
  int fd = fcntl(file->Fd(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    platform::SetLastErrorFromErrno();
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return platform::ToHandle(new CFileMapping(fd, cb));
}

LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                     DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap) {
  auto* mapping = dynamic_cast<CFileMapping*>(platform::FromHandle(hFileMappingObject));
  if (mapping == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((dwDesiredAccess & ~(FILE_MAP_READ | kFileMapCopy)) != 0 || dwDesiredAccess == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  uint64_t offset = static_cast<uint64_t>(dwFileOffsetHigh) << 32 | dwFileOffsetLow;
  if (offset % kAllocationGranularity != 0) {
    SetLastError(kErrorMappedAlignment);
    return nullptr;
  }
  if (offset >= mapping->Size() || dwNumberOfBytesToMap > mapping->Size() - offset) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  size_t cb = dwNumberOfBytesToMap != 0 ? dwNumberOfBytesToMap
                                        : static_cast<size_t>(mapping->Size() - offset);
  void* p = mmap(nullptr, cb, PROT_READ, MAP_PRIVATE, mapping->Fd(), static_cast<off_t>(offset));
  if (p == MAP_FAILED) {
    platform::SetLastErrorFromErrno();
    return nullptr;
  }
  Views().Add(p, cb);
  return p;
}

BOOL UnmapViewOfFile(LPCVOID lpBaseAddress) {
  size_t cb = Views().Take(lpBaseAddress);
  if (cb == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  munmap(const_cast<void*>(lpBaseAddress), cb);
  return TRUE;
}
