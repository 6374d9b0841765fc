// GetCommandLineW from /proc/self/cmdline, read once.
#include <fstream>
#include <iterator>
#include <string>

#include "platform/files/files.h"
#include "platform/text/wstr.h"

namespace {

std::u16string ReadCommandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) return {};
  if (bytes.back() == '\0') bytes.pop_back();
  std::string line;
  for (size_t start = 0;;) {
    size_t end = bytes.find('\0', start);
    if (end == std::string::npos) end = bytes.size();
    std::string argument = bytes.substr(start, end - start);
    if (start != 0) line += ' ';
    if (argument.empty() || argument.find_first_of(" \t") != std::string::npos)
      line += '"' + argument + '"';
    else
      line += argument;
    if (end == bytes.size()) break;
    start = end + 1;
  }
  return platform::FromUtf8(line);
}

}  // namespace

LPWSTR GetCommandLineW() {
  static std::u16string* s_line = new std::u16string(ReadCommandLine());
  return s_line->data();
}
