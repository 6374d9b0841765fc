// Feeds arbitrary request paths to the splitting of web application URLs:
// what it accepts names a library below the scripts directory and nothing
// else, and the parts put together give the path back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "server/script_url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view path(reinterpret_cast<const char*>(data), size);
  std::string_view dirs, name, info;
  if (!SplitScriptUrl(path, &dirs, &name, &info)) return 0;
  std::string prefix(path.substr(0, 9));
  for (char& ch : prefix) ch = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch;
  if (prefix != "/scripts/") __builtin_trap();
  if (std::string(path.substr(0, 8)) + std::string(dirs) + "/" + std::string(name) + std::string(info) != path)
    __builtin_trap();
  if (!info.empty() && info[0] != '/') __builtin_trap();
  if (name.size() <= 4 || name.find('/') != std::string_view::npos) __builtin_trap();
  std::string all = std::string(dirs) + "/" + std::string(name) + "/";
  for (size_t start = 1; start < all.size();) {
    size_t end = all.find('/', start);
    std::string_view part = std::string_view(all).substr(start, end - start);
    if (part.empty() || part == "." || part == ".." || part.find('\\') != std::string_view::npos ||
        part.find('\0') != std::string_view::npos)
      __builtin_trap();
    start = end + 1;
  }
  return 0;
}
