// CopyFileW: the copy is written to a temporary file beside the destination
// and renamed into place, so the destination never holds a partial copy.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/files/files.h"
#include "platform/base/win32_error.h"

namespace {

// Closes a descriptor and removes the temporary file unless it was kept.
class CTempFile {
 public:
  CTempFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
  ~CTempFile() {
    if (m_fd >= 0) close(m_fd);
    if (!m_fKept) unlink(m_path.c_str());
  }
  CTempFile(const CTempFile&) = delete;
  CTempFile& operator=(const CTempFile&) = delete;

  int Fd() const { return m_fd; }
  const std::string& Path() const { return m_path; }
  void Keep() { m_fKept = true; }

 private:
  int m_fd;
  std::string m_path;
  bool m_fKept = false;
};

class CFd {
 public:
  explicit CFd(int fd) : m_fd(fd) {}
  ~CFd() {
    if (m_fd >= 0) close(m_fd);
  }
  CFd(const CFd&) = delete;
  CFd& operator=(const CFd&) = delete;
  int Get() const { return m_fd; }

 private:
  int m_fd;
};

bool CopyContents(int from, int to) {
  char buffer[64 * 1024];
  for (;;) {
    ssize_t n = read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      ssize_t m = write(to, buffer + done, static_cast<size_t>(n - done));
      if (m < 0 && errno == EINTR) continue;
      if (m < 0) return false;
      done += m;
    }
  }
}

// Renames |from| to |to|; with |fNoReplace| fails with EEXIST instead of
// replacing an existing |to|, atomically.
bool MoveInto(const std::string& from, const std::string& to, bool fNoReplace) {
  if (!fNoReplace) return rename(from.c_str(), to.c_str()) == 0;
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // The file system has no RENAME_NOREPLACE: link() also refuses to replace.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
}

}  // namespace

BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string source = platform::PosixPath(lpExistingFileName);
  std::string target = platform::PosixPath(lpNewFileName);

  CFd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (in.Get() < 0 || fstat(in.Get(), &st) != 0) {
    platform::SetLastErrorFromErrno(source);
    return FALSE;
  }
  if (S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }

  size_t slash = target.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string pattern = dir + "/." + name + ".XXXXXX";
  int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    platform::SetLastErrorFromErrno(target);
    return FALSE;
  }
  CTempFile temp(fd, pattern);
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (!CopyContents(in.Get(), temp.Fd()) || fchmod(temp.Fd(), st.st_mode & 07777) != 0 ||
      futimens(temp.Fd(), times) != 0 || fdatasync(temp.Fd()) != 0) {
    platform::SetLastErrorFromErrno();
    return FALSE;
  }
  if (!MoveInto(temp.Path(), target, bFailIfExists != FALSE)) {
    platform::SetLastErrorFromErrno(target);
    return FALSE;
  }
  temp.Keep();
  return TRUE;
}
