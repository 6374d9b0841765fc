#include "platform/text/wstr.h"

#include <gtest/gtest.h>

namespace {

TEST(WstrTest, WtolReadsBlanksSignAndDigits) {
  EXPECT_EQ(_wtol(u"  \t\n42"), 42);
  EXPECT_EQ(_wtol(u"-17abc"), -17);
  EXPECT_EQ(_wtol(u"+8"), 8);
  EXPECT_EQ(_wtol(u"\u300012"), 12) << "ideographic space is white space";
  EXPECT_EQ(_wtol(u""), 0);
  EXPECT_EQ(_wtol(u"x5"), 0);
  EXPECT_EQ(_wtol(u"- 5"), 0) << "no blanks between sign and digits";
  EXPECT_EQ(_wtol(u"--5"), 0);
  EXPECT_EQ(_wtol(u"2147483647"), 2147483647);
  EXPECT_EQ(_wtol(u"2147483648"), INT32_MIN) << "wraps as a 32-bit long";
  EXPECT_EQ(_wtol(u"-2147483648"), INT32_MIN);
}

TEST(WstrTest, IswspaceMatchesTheCLocaleSet) {
  for (int c : {9, 10, 11, 12, 13, 32, 0x85, 0xA0, 0x1680, 0x2000, 0x200A, 0x2028, 0x2029,
                0x202F, 0x205F, 0x3000})
    EXPECT_TRUE(iswspace(static_cast<WCHAR>(c))) << std::hex << c;
  for (int c : {0, 8, 14, 31, 33, 97, 0x84, 0x200B, 0xFEFF, 0x180E})
    EXPECT_FALSE(iswspace(static_cast<WCHAR>(c))) << std::hex << c;
}

TEST(WstrTest, CaseInsensitiveComparisonFoldsAsciiAndLatin1) {
  EXPECT_EQ(_wcsicmp(u"ISO-8859-1", u"iso-8859-1"), 0);
  EXPECT_EQ(_wcsicmp(u"\u00C9T\u00C9", u"\u00e9t\u00e9"), 0);
  EXPECT_NE(_wcsicmp(u"\u00D7", u"\u00F7"), 0) << "multiplication and division signs differ";
  EXPECT_LT(_wcsicmp(u"_", u"A"), 0) << "compares lower-cased units";
  EXPECT_LT(_wcsicmp(u"abc", u"ABCD"), 0);
  EXPECT_GT(_wcsicmp(u"b", u"A"), 0);
  EXPECT_EQ(towlower(u'\u0100'), u'\u0100');
}

TEST(WstrTest, Utf8ConversionsReplaceInvalidSequences) {
  EXPECT_EQ(platform::ToUtf8(u"a\u00e9\u20ac\U0001F600"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(platform::FromUtf8("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"a\u00e9\u20ac\U0001F600");
  EXPECT_EQ(platform::ToUtf8(std::u16string(1, 0xD800) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(platform::FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD") << "overlong form";
  EXPECT_EQ(platform::FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD") << "encoded surrogate";
  EXPECT_EQ(platform::FromUtf8("\xE2\x82x"), u"\uFFFDx") << "truncated sequence is one fault";
  EXPECT_EQ(platform::FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
}

}  // namespace
