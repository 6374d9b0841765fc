// MultiByteToWideChar and WideCharToMultiByte over ICU, and the shipped
// alias file: every code page it names converts.
#include "platform/text/codepage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "xml_test_support.h"

using namespace xmltest;

namespace {

int ToWide(UINT cp, const std::string& in, WCHAR* out, int cw) {
  return MultiByteToWideChar(cp, 0, in.data(), static_cast<int>(in.size()), out, cw);
}

TEST(CodePageTest, ConvertsAndIsStrict) {
  WCHAR rgw[16];
  EXPECT_EQ(ToWide(CP_UTF8, "a\xC3\xA9\xF0\x9F\x98\x80", rgw, 16), 4);
  EXPECT_EQ(rgw[1], 0xE9);
  EXPECT_EQ(rgw[2], 0xD83D);
  // Invalid input, unknown code pages and short buffers return 0.
  for (const char* bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "a\xFF"}) {
    EXPECT_EQ(ToWide(CP_UTF8, bad, rgw, 16), 0) << bad;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  }
  EXPECT_EQ(ToWide(932, "\x82", rgw, 16), 0);  // a lead byte alone
  EXPECT_EQ(ToWide(20127, "\x80", rgw, 16), 0);
  EXPECT_EQ(ToWide(12345678, "a", rgw, 16), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(ToWide(1252, "abc", rgw, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(ToWide(1252, "abc", nullptr, 0), 3);  // the size needed
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, rgw, 16), 4);

  char rgb[16];
  const WCHAR wszMixed[] = u"A\u00e9\u4e2d";
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wszMixed, 3, rgb, 16, nullptr, nullptr), 6);
  EXPECT_EQ(WideCharToMultiByte(28591, 0, wszMixed, 3, rgb, 16, nullptr, nullptr), 0);
  EXPECT_EQ(WideCharToMultiByte(28591, 0, wszMixed, 2, rgb, 16, nullptr, nullptr), 2);
  EXPECT_EQ(std::string(rgb, 2), "A\xE9");
  EXPECT_EQ(WideCharToMultiByte(28591, 0, wszMixed, 2, rgb, 1, nullptr, nullptr), 0);
  const WCHAR wszLone[] = {0xD800, 0};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wszLone, 1, rgb, 16, nullptr, nullptr), 0);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, wszLone, 1, rgb, 16, nullptr, nullptr), 0);
}

// A character each code page has beyond ASCII, with its bytes.
struct Sample {
  const char* utf8;
  const char* bytes;
};

const std::map<int, Sample>& Samples() {
  static const std::map<int, Sample> samples = {
      {437, {"\xC3\xA9", "\x82"}}, {850, {"\xC3\xA9", "\x82"}}, {866, {"\xD0\x91", "\x81"}},
      {874, {"\xE0\xB8\x81", "\xA1"}}, {28601, {"\xE0\xB8\x81", "\xA1"}},
      {950, {"\xE4\xB8\xAD", "\xA4\xA4"}}, {54936, {"\xE4\xB8\xAD", "\xD6\xD0"}},
      {936, {"\xE4\xB8\xAD", "\xD6\xD0"}}, {50220, {"\xE3\x81\x82", "\x1B$B$\"\x1B(B"}},
      {51932, {"\xE3\x81\x82", "\xA4\xA2"}}, {932, {"\xE3\x81\x82", "\x82\xA0"}},
      {949, {"\xEA\xB0\x80", "\xB0\xA1"}}, {21866, {"\xD1\x94", "\xA4"}},
      {20866, {"\xD0\x91", "\xE2"}}, {28605, {"\xE2\x82\xAC", "\xA4"}},
      {28604, {"\xE1\xB8\x82", "\xA1"}}, {28603, {"\xE2\x80\x9D", "\xA1"}},
      {28600, {"\xC4\x84", "\xA1"}}, {28599, {"\xC4\x9E", "\xD0"}}, {28598, {"\xD7\x90", "\xE0"}},
      {28597, {"\xCE\x91", "\xC1"}}, {28596, {"\xD8\xA1", "\xC1"}}, {28595, {"\xD0\x91", "\xB1"}},
      {28594, {"\xC4\x84", "\xA1"}}, {28593, {"\xC4\xA6", "\xA1"}}, {28592, {"\xC4\x84", "\xA1"}},
      {1258, {"\xE2\x82\xAC", "\x80"}}, {1257, {"\xE2\x82\xAC", "\x80"}},
      {1256, {"\xE2\x82\xAC", "\x80"}}, {1255, {"\xE2\x82\xAC", "\x80"}},
      {1254, {"\xE2\x82\xAC", "\x80"}}, {1253, {"\xE2\x82\xAC", "\x80"}},
      {1251, {"\xD0\x91", "\xC1"}}, {1250, {"\xE2\x82\xAC", "\x80"}},
      {1252, {"\xE2\x82\xAC", "\x80"}}, {20127, {"~", "~"}}, {28591, {"\xC3\xA9", "\xE9"}},
      {65001, {"\xC3\xA9", "\xC3\xA9"}},
  };
  return samples;
}

TEST(CodePageTest, EveryShippedCodePageConverts) {
  std::ifstream lines(std::string(getenv("VLT_SOURCE_DIR")) + "/data/vltxmlss.txt");
  ASSERT_TRUE(lines.is_open());
  int cEntries = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || !isdigit(static_cast<unsigned char>(line[0]))) continue;
    const int cp = std::stoi(line);
    ++cEntries;
    auto sample = Samples().find(cp);
    ASSERT_NE(sample, Samples().end()) << "no sample for code page " << cp;
    const std::u16string expected = U16(sample->second.utf8);
    WCHAR rgw[8];
    const std::string bytes = sample->second.bytes;
    ASSERT_EQ(ToWide(cp, bytes, rgw, 8), static_cast<int>(expected.size())) << cp;
    EXPECT_EQ(std::u16string(rgw, expected.size()), expected) << cp;
    char rgb[16];
    int cb = WideCharToMultiByte(cp, 0, expected.data(), static_cast<int>(expected.size()), rgb, 16,
                                 nullptr, nullptr);
    EXPECT_EQ(std::string(rgb, cb), bytes) << cp;
  }
  EXPECT_GE(cEntries, 40);
}

TEST(CodePageTest, ShippedNamesResolve) {
  vlttest::ScopedRegistryFile registry;
  ASSERT_TRUE(Initialize());
  const std::map<std::string, int> names = {
      {"UTF-8", 65001},       {"US-ASCII", 20127},    {"ISO-8859-1", 28591}, {"ISO-8859-15", 28605},
      {"windows-1252", 1252}, {"KOI8-R", 20866},      {"KOI8-U", 21866},     {"Shift_JIS", 932},
      {"EUC-JP", 51932},      {"ISO-2022-JP", 50220}, {"GB2312", 936},       {"GBK", 936},
      {"GB18030", 54936},     {"Big5", 950},          {"EUC-KR", 949}};
  for (const auto& [name, cp] : names) EXPECT_EQ(Lookup(name), cp) << name;
  CIcuTrans::Terminate();
}

}  // namespace
