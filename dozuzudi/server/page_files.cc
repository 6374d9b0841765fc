#include "server/page_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kMaxFileBytes = 4 << 20;

// Same-origin only: the page's own script, style and images, requests to
// its own origin, no framing, no form submission (the script sends).
constexpr const char* kSecurityHeaders =
    "Cache-Control: no-store\r\n"
    "Content-Security-Policy: default-src 'none'; script-src 'self'; style-src 'self'; "
    "img-src 'self'; connect-src 'self'; form-action 'none'; frame-ancestors 'none'; "
    "base-uri 'none'\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "X-Frame-Options: DENY\r\n"
    "Cross-Origin-Opener-Policy: same-origin\r\n"
    "Cross-Origin-Resource-Policy: same-origin\r\n";

bool AcceptableName(std::string_view name) {
  if (name.empty() || name[0] == '.') return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
          c == '-' || c == '_'))
      return false;
  return true;
}

std::string ContentTypeOf(std::string_view name) {
  static const struct {
    const char* pszSuffix;
    const char* pszType;
  } s_rgTypes[] = {
      {".html", "text/html; charset=utf-8"}, {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"}, {".svg", "image/svg+xml"},
      {".png", "image/png"}, {".ico", "image/x-icon"}, {".txt", "text/plain; charset=utf-8"},
  };
  for (const auto& t : s_rgTypes) {
    std::string_view suffix(t.pszSuffix);
    if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix)
      return t.pszType;
  }
  return "application/octet-stream";
}

bool ReadWhole(const std::string& path, std::string& bytes, std::string& err) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    err = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  bool fOk = fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) <= kMaxFileBytes;
  if (!fOk) err = path + " is larger than the page files may be";
  bytes.clear();
  char rgch[16384];
  while (fOk) {
    ssize_t n = read(fd, rgch, sizeof(rgch));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = "cannot read " + path + ": " + std::strerror(errno);
      fOk = false;
    }
    if (n <= 0) break;
    bytes.append(rgch, static_cast<size_t>(n));
    if (bytes.size() > kMaxFileBytes) {
      err = path + " is larger than the page files may be";
      fOk = false;
    }
  }
  close(fd);
  return fOk;
}

void SetReply(CHostReply& reply, int nStatus, const char* pszStatus, std::string_view extraHead,
              std::string body) {
  reply.m_nStatus = nStatus;
  reply.m_head.assign("HTTP/1.1 ").append(pszStatus).append("\r\n");
  reply.m_head.append(extraHead);
  reply.m_head.append(kSecurityHeaders);
  reply.m_body = std::move(body);
}

}  // namespace

bool CPageFiles::Load(const std::string& directory, std::string& err) {
  auto pFiles = std::make_shared<CFileSet>();
  if (!directory.empty()) {
    DIR* pDir = opendir(directory.c_str());
    if (pDir == nullptr && errno != ENOENT) {
      err = "cannot read the page directory " + directory + ": " + std::strerror(errno);
      return false;
    }
    bool fOk = true;
    while (pDir != nullptr && fOk) {
      dirent* pEntry = readdir(pDir);
      if (pEntry == nullptr) break;
      std::string name = pEntry->d_name;
      if (!AcceptableName(name)) continue;
      std::string path = directory + "/" + name;
      struct stat st;
      if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
      CFile file;
      file.m_contentType = ContentTypeOf(name);
      fOk = ReadWhole(path, file.m_bytes, err);
      if (fOk) pFiles->emplace(std::move(name), std::move(file));
    }
    if (pDir != nullptr) closedir(pDir);
    if (!fOk) return false;
  }
  CMutexLock guard(&m_lock);
  m_directory = directory;
  m_pFiles = std::move(pFiles);
  return true;
}

bool CPageFiles::Reload(std::string& err) {
  std::string directory;
  {
    CMutexLock guard(&m_lock);
    directory = m_directory;
  }
  return Load(directory, err);
}

bool CPageFiles::Serve(std::string_view method, std::string_view path, bool fTls,
                       CHostReply& reply) const {
  if (path.substr(0, kUrlPrefix.size()) != kUrlPrefix ||
      (path.size() > kUrlPrefix.size() && path[kUrlPrefix.size()] != '/'))
    return false;
  std::shared_ptr<const CFileSet> pFiles;
  {
    CMutexLock guard(&m_lock);
    pFiles = m_pFiles;
  }
  std::string extra = fTls ? "Strict-Transport-Security: max-age=31536000\r\n" : "";
  if (method != "GET" && method != "HEAD") {
    SetReply(reply, 405, "405 Method Not Allowed", extra + "Allow: GET, HEAD\r\n", "");
    return true;
  }
  if (path.size() == kUrlPrefix.size()) {
    SetReply(reply, 301, "301 Moved Permanently", extra + "Location: /vltadmin/\r\n", "");
    return true;
  }
  std::string_view name = path.substr(kUrlPrefix.size() + 1);
  if (name.empty()) name = "index.html";
  auto it = pFiles ? pFiles->find(name) : CFileSet::const_iterator();
  if (!pFiles || it == pFiles->end()) {
    SetReply(reply, 404, "404 Not Found", extra, "");
    return true;
  }
  SetReply(reply, 200, "200 OK", extra + "Content-Type: " + it->second.m_contentType + "\r\n",
           it->second.m_bytes);
  reply.m_fOmitBody = method == "HEAD";
  return true;
}
