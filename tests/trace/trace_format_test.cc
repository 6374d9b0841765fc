// vltqtr's record lines and its class lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collector_options.h"
#include "trace_record.h"

namespace {

std::vector<uint8_t> Wide(const std::u16string& s) {
  const auto* pb = reinterpret_cast<const uint8_t*>(s.c_str());
  return {pb, pb + (s.size() + 1) * 2};
}

TEST(TraceLineTest, ItemsInTheirForms) {
  vltqtr::CTraceRecord record;
  record.nTimeNs = 1700000000123456789;
  record.nPid = 42;
  record.sModule = "RK_DOZUzudi_Admin";
  record.rgbMessageGuid = {0xd1, 0xd2, 0x80, 0x76, 0x63, 0x26, 0x81, 0x47,
                           0xaf, 0xd5, 0x32, 0x91, 0x18, 0x17, 0x4a, 0x18};
  record.nMessage = 65535;
  record.rgItems = {
      {0xfb, 0xff, 0xff, 0xff},                  // -5
      Wide(u"a \"quoted\" \\ J\u00f6rg \U0001F600"),  // text, escapes, non-ASCII
      Wide(u"tab\there"),                        // control character: hex
      Wide(u"\xD800x"),                          // lone surrogate: hex
      {1, 2, 3},                                 // odd length: hex
      {},                                        // empty
      {0, 0},                                    // empty text
  };
  EXPECT_EQ(vltqtr::FormatRecordLine(record),
            "2023-11-14T22:13:20.123456Z 42 RK_DOZUzudi_Admin {7680d2d1-2663-4781-afd5-329118174a18} 65535 -5 "
            "\"a \\\"quoted\\\" \\\\ J\xC3\xB6rg \xF0\x9F\x98\x80\" <740061006200090068006500720065000000> "
            "<00d878000000> <010203> <> \"\"");
  record.rgItems.clear();
  EXPECT_EQ(vltqtr::FormatRecordLine(record).substr(28),
            "42 RK_DOZUzudi_Admin {7680d2d1-2663-4781-afd5-329118174a18} 65535");
}

TEST(CollectorOptionsTest, ClassLists) {
  const struct {
    const char* pszList;
    int nFlags;  // -1: refused
  } cases[] = {{"ERROR,INFO,ENTRY", 0x0B}, {"qtr_entry,Profile", 0x18}, {"all", 0xFF},
               {"none", 0},                {"ERROR,BOGUS", -1},         {"ERROR,", -1}};
  for (const auto& c : cases) {
    uint8_t bFlags = 0x55;
    EXPECT_EQ(vltqtr::ParseClassList(c.pszList, &bFlags), c.nFlags >= 0) << c.pszList;
    if (c.nFlags >= 0) {
      EXPECT_EQ(bFlags, c.nFlags) << c.pszList;
    }
  }
}

}  // namespace
