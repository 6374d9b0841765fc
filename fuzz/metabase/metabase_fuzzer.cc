// Feeds arbitrary bytes to the metabase parser: it either reads applications
// whose text form reads back the same, or refuses with a line and a reason.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/wam/metabase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::wam::CMetabase metabase;
  size_t nLine = 0;
  std::string reason;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!metabase.Parse(text, &nLine, &reason)) {
    if (reason.empty() || nLine == 0) __builtin_trap();
    return 0;
  }
  std::string formatted = metabase.Format();
  platform::wam::CMetabase again;
  if (!again.Parse(formatted, &nLine, &reason) || again.Format() != formatted) __builtin_trap();
  for (const auto& app : metabase.Applications())
    if (metabase.Covering(app.m_path) == nullptr) __builtin_trap();
  return 0;
}
