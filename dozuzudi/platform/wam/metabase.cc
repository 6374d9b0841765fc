// The metabase file: its text form, and reading and replacing it safely.
#include "platform/wam/metabase.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace platform::wam {
namespace {

constexpr size_t kMaxPath = 1024;
constexpr std::string_view kBlanks = " \t";

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  size_t start = s.find_first_not_of(kBlanks);
  if (start == std::string_view::npos) return {};
  return s.substr(start, s.find_last_not_of(kBlanks) - start + 1);
}

// Closes a descriptor when it goes out of scope.
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

int ReadAll(int fd, std::string* pText) {
  char buffer[8192];
  for (;;) {
    ssize_t cb = read(fd, buffer, sizeof buffer);
    if (cb < 0 && errno == EINTR) continue;
    if (cb < 0) return errno;
    if (cb == 0) return 0;
    pText->append(buffer, static_cast<size_t>(cb));
  }
}

int WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t cb = write(fd, text.data(), text.size());
    if (cb < 0 && errno == EINTR) continue;
    if (cb < 0) return errno;
    text.remove_prefix(static_cast<size_t>(cb));
  }
  return 0;
}

std::string DirectoryOf(const std::string& file) {
  size_t iSlash = file.find_last_of('/');
  if (iSlash == std::string::npos) return ".";
  return iSlash == 0 ? "/" : file.substr(0, iSlash);
}

// Writes |text| to a new file beside |file| and renames it over |file|,
// flushing the data and then the directory.
int ReplaceFile(const std::string& file, std::string_view text) {
  std::string temp = file + ".XXXXXX";
  CFd fd(mkostemp(temp.data(), O_CLOEXEC));
  if (fd.Get() < 0) return errno;
  int err = WriteAll(fd.Get(), text);
  if (err == 0 && fchmod(fd.Get(), 0644) != 0) err = errno;
  if (err == 0 && fsync(fd.Get()) != 0) err = errno;
  if (err == 0 && rename(temp.c_str(), file.c_str()) != 0) err = errno;
  if (err != 0) {
    unlink(temp.c_str());
    return err;
  }
  CFd dir(open(DirectoryOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) fsync(dir.Get());
  return 0;
}

}  // namespace

int ReadMetabaseFile(const std::string& file, CMetabase* pMetabase, std::string* pReason) {
  std::string text;
  {
    CFd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
      *pMetabase = CMetabase();
      return errno == ENOENT ? 0 : errno;
    }
    if (int err = ReadAll(fd.Get(), &text)) return err;
  }
  size_t nLine = 0;
  std::string reason;
  if (!pMetabase->Parse(text, &nLine, &reason)) {
    if (pReason != nullptr) *pReason = "line " + std::to_string(nLine) + ": " + reason;
    return kMetabaseMalformed;
  }
  return 0;
}

bool NormalizeMetabasePath(std::string_view path, std::string* pNormalized) {
  if (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  if (path.empty() || path.size() > kMaxPath || path[0] != '/') return false;
  for (char c : path)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\') return false;
  if (path.size() > 1) {
    for (size_t start = 1; start <= path.size();) {
      size_t end = std::min(path.find('/', start), path.size());
      std::string_view name = path.substr(start, end - start);
      if (name.empty() || name == "." || name == ".." || name.front() == ' ' || name.back() == ' ')
        return false;
      start = end + 1;
    }
  }
  pNormalized->assign(path);
  return true;
}

bool MetabasePathCovers(std::string_view parent, std::string_view path) {
  if (parent == "/") return !path.empty() && path[0] == '/';
  if (path.size() < parent.size() || !EqualNoCase(path.substr(0, parent.size()), parent)) return false;
  return path.size() == parent.size() || path[parent.size()] == '/';
}

bool CMetabase::Parse(std::string_view text, size_t* pnLine, std::string* pReason) {
  m_rgApplications.clear();
  size_t nLine = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++nLine;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    size_t iBlank = line.find_first_of(kBlanks);
    std::string_view isolation = line.substr(0, iBlank);
    std::string path;
    bool fInProc = isolation == "inproc";
    const char* pszFault = nullptr;
    if (!fInProc && isolation != "pooled")
      pszFault = "expected \"inproc PATH\" or \"pooled PATH\"";
    else if (iBlank == std::string_view::npos || !NormalizeMetabasePath(Trim(line.substr(iBlank)), &path))
      pszFault = "not a metabase path";
    if (pszFault != nullptr) {
      *pnLine = nLine;
      *pReason = pszFault;
      return false;
    }
    Create(path, fInProc);
  }
  return true;
}

std::string CMetabase::Format() const {
  std::string text =
      "# vltadmin-host metabase: the web applications, one a line (\"inproc PATH\" or\n"
      "# \"pooled PATH\"). Written by the WAM administration object (vltadmin-setup).\n";
  for (const CApplication& app : m_rgApplications)
    text += (app.m_fInProc ? "inproc " : "pooled ") + app.m_path + "\n";
  return text;
}

bool CMetabase::Create(const std::string& path, bool fInProc) {
  for (CApplication& app : m_rgApplications) {
    if (!EqualNoCase(app.m_path, path)) continue;
    if (app.m_fInProc == fInProc) return false;
    app.m_fInProc = fInProc;
    return true;
  }
  m_rgApplications.push_back({path, fInProc});
  return true;
}

bool CMetabase::Delete(std::string_view path, bool fRecursive) {
  size_t cBefore = m_rgApplications.size();
  std::erase_if(m_rgApplications, [&](const CApplication& app) {
    return fRecursive ? MetabasePathCovers(path, app.m_path) : EqualNoCase(app.m_path, path);
  });
  return m_rgApplications.size() != cBefore;
}

const CApplication* CMetabase::Covering(std::string_view path) const {
  const CApplication* pBest = nullptr;
  for (const CApplication& app : m_rgApplications)
    if (MetabasePathCovers(app.m_path, path) && (pBest == nullptr || app.m_path.size() > pBest->m_path.size()))
      pBest = &app;
  return pBest;
}

std::string MetabaseFileBeside(const std::string& registryFile) {
  return DirectoryOf(registryFile) + "/metabase.txt";
}

int UpdateMetabaseFile(const std::string& file, const std::function<bool(CMetabase&)>& change) {
  CFd lock(open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (lock.Get() < 0) return errno;
  while (flock(lock.Get(), LOCK_EX) != 0)
    if (errno != EINTR) return errno;
  // The lock is released when the descriptor closes.
  CMetabase metabase;
  if (int err = ReadMetabaseFile(file, &metabase)) return err;
  if (!change(metabase)) return 0;
  return ReplaceFile(file, metabase.Format());
}

}  // namespace platform::wam
