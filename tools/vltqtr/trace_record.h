// A trace record as the collector received it, and its one-line form.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vltqtr {

struct CTraceRecord {
  int64_t nTimeNs = 0;  // receipt time, nanoseconds since the epoch
  int32_t nPid = 0;     // the writing process
  std::string sModule;  // module name (UTF-8)
  std::array<uint8_t, 16> rgbMessageGuid{};
  uint16_t nMessage = 0;
  std::vector<std::vector<uint8_t>> rgItems;
};

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" of a GUID in its in-memory layout.
std::string FormatGuid(const std::array<uint8_t, 16>& rgb);

// One item: a 4-byte item as a signed decimal integer; terminated UTF-16
// text without control characters as "text" (UTF-8, with \" and \\);
// anything else as <hex>. The form can be read back exactly.
std::string FormatItem(const std::vector<uint8_t>& rgb);

// "time pid module {guid} number item..." without a line end.
std::string FormatRecordLine(const CTraceRecord& record);

}  // namespace vltqtr
