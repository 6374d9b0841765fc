// Registry functions over snapshots of the registry file.
//
// Each load of the file gives an immutable tree shared by pointer. An opened
// key holds the snapshot it was found in, so it stays valid (and consistent)
// when the file is re-read. RegOpenKeyExW and queries made relative to a
// predefined root take the current snapshot; the file is checked (stat) by
// the first of them after kRecheckInterval, so that an open costs no system
// call (the clock is read through the vDSO).
#include "platform/registry/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

#include "platform/base/sync.h"
#include "platform/base/thread_annotations.h"
#include "platform/files/file_stamp.h"
#include "platform/registry/reg_tree.h"

#ifndef VLTADMIN_DEFAULT_REGISTRY
#define VLTADMIN_DEFAULT_REGISTRY "/etc/vltadmin/vltadmin.reg"
#endif

namespace {

using platform::CFileStamp;
using platform::FileStampOf;
using platform::reg::CRegKey;
using platform::reg::CRegTree;
using platform::reg::CRegValue;
using platform::reg::ERoot;

constexpr int64_t kRecheckInterval = 100 * 1000000;  // ns

// The coarse monotonic clock: never a system call, a few ms of resolution.
int64_t CoarseNowNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

const char* RegistryFilePathText() {
  const char* path = std::getenv("VLTADMIN_REGISTRY");
  return path != nullptr && *path != 0 ? path : VLTADMIN_DEFAULT_REGISTRY;
}

// Access rights that would allow changing the registry.
constexpr REGSAM kWriteAccess = 0x0002 /* KEY_SET_VALUE */ | 0x0004 /* KEY_CREATE_SUB_KEY */ |
                                0x0020 /* KEY_CREATE_LINK */ | 0x00010000 /* DELETE */ |
                                0x00040000 /* WRITE_DAC */ | 0x00080000 /* WRITE_OWNER */ |
                                0x10000000 /* GENERIC_ALL */ | 0x40000000 /* GENERIC_WRITE */;

// What a reading of the file gave.
enum class ELoad {
  Loaded,    // a new snapshot
  Missing,   // no file: an empty registry
  Failed,    // not readable or not parseable: reported
  Changing,  // the file changed while it was read: read it again later
};

void Report(const std::string& path, size_t nLine, const std::string& reason, bool fKeepLast) {
  const char* pszOutcome = fKeepLast ? "keeping the last good registry" : "using an empty registry";
  if (nLine != 0)
    std::fprintf(stderr, "vltadmin: registry file %s, line %zu: %s; %s\n", path.c_str(), nLine,
                 reason.c_str(), pszOutcome);
  else
    std::fprintf(stderr, "vltadmin: registry file %s: %s; %s\n", path.c_str(), reason.c_str(),
                 pszOutcome);
}

// Reads and parses the file into *tree, with its identity in *id. Only a
// regular file is read, opened without blocking, so that a FIFO or a device
// put in its place cannot hang the caller. A failure is reported; whether
// the last good snapshot stays in use is fKeepLast.
ELoad Load(const std::string& path, CFileStamp* id, std::shared_ptr<const CRegTree>* tree,
           bool fKeepLast) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return ELoad::Missing;
    Report(path, 0, std::strerror(errno), fKeepLast);
    return ELoad::Failed;
  }
  struct stat st;
  std::string bytes;
  bool fOk = fstat(fd, &st) == 0;
  if (fOk) *id = FileStampOf(st);
  if (fOk && !S_ISREG(st.st_mode)) {
    close(fd);
    Report(path, 0, "not a regular file", fKeepLast);
    return ELoad::Failed;
  }
  if (fOk) {
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t cbRead = 0;
    while (fOk && cbRead < bytes.size()) {
      ssize_t n = read(fd, bytes.data() + cbRead, bytes.size() - cbRead);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) fOk = n == 0;
      if (n == 0) break;  // shrank while being read
      if (n > 0) cbRead += static_cast<size_t>(n);
    }
    bytes.resize(cbRead);
  }
  int savedErrno = errno;
  // A file rewritten in place while we read it is half old, half new: take
  // it only once it holds still.
  struct stat after;
  const bool fStill = fOk && fstat(fd, &after) == 0 && FileStampOf(after) == *id &&
                      bytes.size() == static_cast<size_t>(st.st_size);
  close(fd);
  if (!fOk) {
    Report(path, 0, std::strerror(savedErrno), fKeepLast);
    return ELoad::Failed;
  }
  if (!fStill) return ELoad::Changing;
  auto parsed = std::make_shared<CRegTree>();
  platform::reg::CRegParseError error;
  if (!platform::reg::ParseRegFile(bytes, parsed.get(), &error)) {
    Report(path, error.m_nLine, error.m_reason, fKeepLast);
    return ELoad::Failed;
  }
  *tree = std::move(parsed);
  return ELoad::Loaded;
}

// The snapshot of the registry file, re-read when the file changes. A
// reading that fails keeps the last good snapshot of the same file.
class CRegistryFile {
 public:
  CRegistryFile() { InitializeCriticalSection(&m_lock); }

  std::shared_ptr<const CRegTree> Current() EXCLUDES(m_lock) {
    const char* pszPath = RegistryFilePathText();
    int64_t nNow = CoarseNowNs();
    EnterCriticalSection(&m_lock);
    bool fSamePath = m_snapshot != nullptr && m_path == pszPath;
    if (!fSamePath || nNow >= m_nNextCheck) {
      // Checking and loading under the lock means a changed file is parsed
      // (and a fault reported) once, not by every thread that noticed.
      CFileStamp id;
      struct stat st;
      if (stat(pszPath, &st) == 0) id = FileStampOf(st);
      m_nNextCheck = nNow + kRecheckInterval;
      if (!fSamePath || id != m_identity) {
        const std::string path = pszPath;
        const bool fKeepLast = fSamePath;
        std::shared_ptr<const CRegTree> tree;
        CFileStamp loaded = id;
        switch (Load(path, &loaded, &tree, fKeepLast)) {
          case ELoad::Loaded:
            m_snapshot = std::move(tree);
            m_identity = loaded;
            break;
          case ELoad::Missing:
            m_snapshot = std::make_shared<CRegTree>();
            m_identity = CFileStamp();
            break;
          case ELoad::Failed:
            if (!fKeepLast) m_snapshot = std::make_shared<CRegTree>();
            m_identity = loaded;  // reported once for this version of the file
            break;
          case ELoad::Changing:
            if (!fKeepLast) m_snapshot = std::make_shared<CRegTree>();
            m_identity = CFileStamp();  // not yet read: the next call tries again
            m_nNextCheck = nNow;
            break;
        }
        m_path = path;
      }
    }
    std::shared_ptr<const CRegTree> snapshot = m_snapshot;
    LeaveCriticalSection(&m_lock);
    return snapshot;
  }

  void CheckNow() EXCLUDES(m_lock) {
    EnterCriticalSection(&m_lock);
    m_nNextCheck = 0;
    LeaveCriticalSection(&m_lock);
  }

 private:
  CRITICAL_SECTION m_lock;
  std::string m_path GUARDED_BY(m_lock);
  CFileStamp m_identity GUARDED_BY(m_lock);
  int64_t m_nNextCheck GUARDED_BY(m_lock) = 0;
  std::shared_ptr<const CRegTree> m_snapshot GUARDED_BY(m_lock);
};

// What an HKEY of an opened key points to.
struct COpenKey {
  std::shared_ptr<const CRegTree> m_snapshot;
  const CRegKey* m_key = nullptr;
};

// The opened keys, so that a stale or foreign HKEY is refused rather than
// followed.
class COpenKeys {
 public:
  COpenKeys() { InitializeCriticalSection(&m_lock); }

  HKEY Add(std::unique_ptr<COpenKey> key) EXCLUDES(m_lock) {
    EnterCriticalSection(&m_lock);
    m_keys.insert(key.get());
    LeaveCriticalSection(&m_lock);
    return reinterpret_cast<HKEY>(key.release());
  }

  bool Remove(HKEY h) EXCLUDES(m_lock) {
    auto* key = reinterpret_cast<COpenKey*>(h);
    EnterCriticalSection(&m_lock);
    bool fFound = m_keys.erase(key) != 0;
    LeaveCriticalSection(&m_lock);
    if (fFound) delete key;
    return fFound;
  }

  // Copies the key's state, so that a concurrent close cannot free it under
  // the caller.
  bool Find(HKEY h, COpenKey* out) EXCLUDES(m_lock) {
    auto* key = reinterpret_cast<COpenKey*>(h);
    EnterCriticalSection(&m_lock);
    bool fFound = m_keys.count(key) != 0;
    if (fFound) *out = *key;
    LeaveCriticalSection(&m_lock);
    return fFound;
  }

 private:
  CRITICAL_SECTION m_lock;
  std::unordered_set<COpenKey*> m_keys GUARDED_BY(m_lock);
};

// Never destroyed: keys may be used by threads still running at exit.
CRegistryFile& RegistryFile() {
  static CRegistryFile* s_file = new CRegistryFile;
  return *s_file;
}

COpenKeys& OpenKeys() {
  static COpenKeys* s_keys = new COpenKeys;
  return *s_keys;
}

bool PredefinedRoot(HKEY h, ERoot* root) {
  if (h == HKEY_CLASSES_ROOT) *root = ERoot::ClassesRoot;
  else if (h == HKEY_CURRENT_USER) *root = ERoot::CurrentUser;
  else if (h == HKEY_LOCAL_MACHINE) *root = ERoot::LocalMachine;
  else if (h == HKEY_USERS) *root = ERoot::Users;
  else return false;
  return true;
}

bool Resolve(HKEY h, COpenKey* out) {
  ERoot root;
  if (PredefinedRoot(h, &root)) {
    out->m_snapshot = RegistryFile().Current();
    out->m_key = out->m_snapshot->Root(root);
    return true;
  }
  return h != nullptr && OpenKeys().Find(h, out);
}

// The key at |path| below |key|; null when there is none. Empty components
// (doubled or trailing backslashes) are skipped.
const CRegKey* FindKey(const CRegKey* key, std::u16string_view path) {
  for (size_t start = 0; key != nullptr && start < path.size();) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) key = key->FindSubkey(platform::reg::FoldName(path.substr(start, end - start)));
    start = end + 1;
  }
  return key;
}

// Splits off the first component of |path| (leading backslashes skipped);
// |rest| keeps what follows it.
std::u16string FirstComponent(std::u16string_view path, std::u16string_view* rest) {
  size_t start = std::min(path.find_first_not_of(u'\\'), path.size());
  size_t end = std::min(path.find(u'\\', start), path.size());
  *rest = path.substr(end);
  return platform::reg::FoldName(path.substr(start, end - start));
}

// The 32-bit view of HKEY_LOCAL_MACHINE\SOFTWARE\...: the same path below
// SOFTWARE\WOW6432Node, where registry files exported from 64-bit machines
// hold the keys of 32-bit programs. Null when |path| is not below SOFTWARE,
// already names WOW6432Node, or the redirected key does not exist.
const CRegKey* Find32BitKey(const CRegKey* root, std::u16string_view path) {
  static const std::u16string s_software = platform::reg::FoldName(u"SOFTWARE");
  static const std::u16string s_wow = platform::reg::FoldName(u"WOW6432Node");
  std::u16string_view rest, ignored;
  if (FirstComponent(path, &rest) != s_software || FirstComponent(rest, &ignored) == s_wow)
    return nullptr;
  const CRegKey* node = FindKey(root, u"SOFTWARE\\WOW6432Node");
  return node != nullptr ? FindKey(node, rest) : nullptr;
}

bool IsPredefined(const void* p) {
  ERoot root;
  return PredefinedRoot(reinterpret_cast<HKEY>(const_cast<void*>(p)), &root);
}

}  // namespace

namespace platform {
std::string RegistryFilePath() { return RegistryFilePathText(); }
void CheckRegistryFileNow() { RegistryFile().CheckNow(); }
}  // namespace platform

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  COpenKey base;
  if (!Resolve(hKey, &base)) return ERROR_INVALID_HANDLE;
  std::u16string_view path(lpSubKey != nullptr ? lpSubKey : u"");
  const CRegKey* key = nullptr;
  if ((samDesired & KEY_WOW64_32KEY) != 0 && hKey == HKEY_LOCAL_MACHINE)
    key = Find32BitKey(base.m_key, path);
  if (key == nullptr) key = FindKey(base.m_key, path);
  if (key == nullptr) return ERROR_FILE_NOT_FOUND;
  if ((samDesired & kWriteAccess) != 0) return ERROR_ACCESS_DENIED;
  auto opened = std::make_unique<COpenKey>();
  opened->m_snapshot = std::move(base.m_snapshot);
  opened->m_key = key;
  // Heap addresses are never the predefined constants on the systems this
  // runs on; make sure anyway (the rejected blocks are held until done so
  // that the allocator cannot hand the same one back).
  std::vector<std::unique_ptr<COpenKey>> rejected;
  while (IsPredefined(opened.get())) {
    rejected.push_back(std::move(opened));
    opened = std::make_unique<COpenKey>(*rejected.back());
  }
  *phkResult = OpenKeys().Add(std::move(opened));
  return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr))
    return ERROR_INVALID_PARAMETER;
  COpenKey key;
  if (!Resolve(hKey, &key)) return ERROR_INVALID_HANDLE;
  const CRegValue* value = key.m_key->FindValue(
      platform::reg::FoldName(lpValueName != nullptr ? lpValueName : u""));
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (lpType != nullptr) *lpType = value->m_type;
  DWORD cb = static_cast<DWORD>(value->m_data.size());
  if (lpData != nullptr) {
    if (*lpcbData < cb) {
      *lpcbData = cb;
      return ERROR_MORE_DATA;
    }
    if (cb != 0) std::memcpy(lpData, value->m_data.data(), cb);
  }
  if (lpcbData != nullptr) *lpcbData = cb;
  return ERROR_SUCCESS;
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPWSTR lpClass, LPDWORD lpcchClass, void* lpftLastWriteTime) {
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr)
    return ERROR_INVALID_PARAMETER;
  COpenKey key;
  if (!Resolve(hKey, &key)) return ERROR_INVALID_HANDLE;
  const auto& subkeys = key.m_key->Subkeys();
  if (dwIndex >= subkeys.size()) return ERROR_NO_MORE_ITEMS;
  const std::u16string& name = subkeys[dwIndex]->Name();
  if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
  std::memcpy(lpName, name.data(), name.size() * sizeof(WCHAR));
  lpName[name.size()] = 0;
  *lpcchName = static_cast<DWORD>(name.size());
  if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass != 0) lpClass[0] = 0;
  if (lpcchClass != nullptr) *lpcchClass = 0;
  if (lpftLastWriteTime != nullptr) std::memset(lpftLastWriteTime, 0, 2 * sizeof(DWORD));
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
  ERoot root;
  if (PredefinedRoot(hKey, &root)) return ERROR_SUCCESS;
  if (hKey == nullptr || !OpenKeys().Remove(hKey)) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}
