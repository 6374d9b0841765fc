#include "server/script_url.h"

#include <algorithm>

namespace {

constexpr std::string_view kScriptsUrl = "/Scripts/";

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char ca = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    char cb = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
    if (ca != cb) return false;
  }
  return true;
}

// A name the file system may be asked for: none of ".", "..", "", and
// no backslash or control character (a NUL would cut the file name short).
bool PlainName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char ch : name)
    if (ch == '\\' || static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) return false;
  return true;
}

bool EndsWithDll(std::string_view name) {
  return name.size() > 4 && EqualsNoCaseAscii(name.substr(name.size() - 4), ".dll");
}

}  // namespace

bool SplitScriptUrl(std::string_view path, std::string_view* pDirs, std::string_view* pName,
                    std::string_view* pInfo) {
  if (path.size() <= kScriptsUrl.size() || !EqualsNoCaseAscii(path.substr(0, kScriptsUrl.size()), kScriptsUrl))
    return false;
  for (size_t start = kScriptsUrl.size(); start < path.size();) {
    size_t end = std::min(path.find('/', start), path.size());
    std::string_view name = path.substr(start, end - start);
    if (!PlainName(name)) return false;
    if (EndsWithDll(name)) {
      *pDirs = path.substr(kScriptsUrl.size() - 1, start - kScriptsUrl.size());
      *pName = name;
      *pInfo = path.substr(end);
      return true;
    }
    start = end + 1;
  }
  return false;
}

