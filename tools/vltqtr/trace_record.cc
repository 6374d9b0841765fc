#include "trace_record.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/text/wstr.h"

namespace vltqtr {
namespace {

// The item as quoted text, or false when it is not terminated UTF-16 text
// without control characters and unpaired surrogates.
bool FormatText(const std::vector<uint8_t>& rgb, std::string* psText) {
  if (rgb.size() < 2 || rgb.size() % 2 != 0) return false;
  const size_t cw = rgb.size() / 2;
  auto unit = [&](size_t i) { return static_cast<char16_t>(rgb[2 * i] | (rgb[2 * i + 1] << 8)); };
  if (unit(cw - 1) != 0) return false;
  std::u16string text = u"\"";
  for (size_t i = 0; i + 1 < cw; ++i) {
    char16_t c = unit(i);
    if (c < 0x20 || c == 0x7F) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 2 >= cw) return false;
      const char16_t low = unit(i + 1);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      text += c;
      text += low;
      ++i;
      continue;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return false;
    if (c == u'"' || c == u'\\') text += u'\\';
    text += c;
  }
  text += u'"';
  *psText = platform::ToUtf8(text);
  return true;
}

}  // namespace

std::string FormatGuid(const std::array<uint8_t, 16>& rgb) {
  uint32_t d1;
  uint16_t d2, d3;
  std::memcpy(&d1, rgb.data(), 4);
  std::memcpy(&d2, rgb.data() + 4, 2);
  std::memcpy(&d3, rgb.data() + 6, 2);
  char sz[40];
  std::snprintf(sz, sizeof sz, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", d1, d2, d3,
                rgb[8], rgb[9], rgb[10], rgb[11], rgb[12], rgb[13], rgb[14], rgb[15]);
  return sz;
}

std::string FormatItem(const std::vector<uint8_t>& rgb) {
  if (rgb.size() == 4) {
    int32_t n;
    std::memcpy(&n, rgb.data(), 4);
    return std::to_string(n);
  }
  std::string text;
  if (FormatText(rgb, &text)) return text;
  static const char kHex[] = "0123456789abcdef";
  std::string hex = "<";
  for (uint8_t b : rgb) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  hex += '>';
  return hex;
}

std::string FormatRecordLine(const CTraceRecord& record) {
  const time_t nSeconds = static_cast<time_t>(record.nTimeNs / 1000000000);
  tm utc{};
  gmtime_r(&nSeconds, &utc);
  char szTime[64];
  std::snprintf(szTime, sizeof szTime, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(record.nTimeNs % 1000000000 / 1000));
  std::string line = szTime;
  line += ' ';
  line += std::to_string(record.nPid);
  line += ' ';
  line += record.sModule.empty() ? "-" : record.sModule;
  line += ' ';
  line += FormatGuid(record.rgbMessageGuid);
  line += ' ';
  line += std::to_string(record.nMessage);
  for (const auto& item : record.rgItems) {
    line += ' ';
    line += FormatItem(item);
  }
  return line;
}

}  // namespace vltqtr
