#include "platform/text/debug_output.h"

#include <unistd.h>

#include <string>

#include "platform/text/wstr.h"

void OutputDebugStringW(LPCWSTR lpOutputString) {
  std::string line = "vltadmin: ";
  if (lpOutputString != nullptr) line += platform::ToUtf8(lpOutputString);
  line.push_back('\n');
  ssize_t cb = ::write(2, line.data(), line.size());
  (void)cb;
}
