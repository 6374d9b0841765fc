// Feeds arbitrary bytes to the .reg parser: it must either build a tree or
// report a fault, never crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/registry/reg_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::reg::CRegTree tree;
  platform::reg::CRegParseError error;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (!platform::reg::ParseRegFile(bytes, &tree, &error) && error.m_reason.empty()) __builtin_trap();
  return 0;
}
