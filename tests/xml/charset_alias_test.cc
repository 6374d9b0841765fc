// The alias table: file format, lookup, and finding the file.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/base/module.h"
#include "xml_test_support.h"

using namespace xmltest;

namespace {

// A registry whose install key holds |sValues|.
std::string Install(const std::string& sValues) {
  return vlttest::kRegHeader + vlttest::RegKey("HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install", sValues);
}
std::string Location(const std::string& sPath) { return Install(vlttest::RegString("Location", sPath)); }

class AliasTableTest : public testing::Test {
 protected:
  void TearDown() override { CCharsetAliasTable::Free(); }
  static void Parse(const std::string& text) {
    CCharsetAliasTable::Parse(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  }
  static int Count() {
    int n = 0;
    for (const CharsetAlias* p = CCharsetAliasTable::Head(); p; p = p->pNext) ++n;
    return n;
  }
};

TEST_F(AliasTableTest, ParsesEntriesNamesAndComments) {
  Parse(
      "# header\n\n  65001 \"UTF-8\" \"utf8\"\r\n"
      "28591 x \"Latin1\"\t\"\" \"iso-8859-1\"\n"
      "1252 \"windows-1252\" # \"cp1252\"\n"
      "1251 \"win#1251\" \"cp1251\"\n"
      "1250 \"open\n"
      "1257 \"cp1257\" \"unclosed\n");
  EXPECT_EQ(Lookup("utf-8"), 65001);
  EXPECT_EQ(Lookup("UTF8"), 65001);
  EXPECT_EQ(Lookup("LATIN1"), 28591);
  EXPECT_EQ(Lookup("ISO-8859-1"), 28591);
  EXPECT_EQ(Lookup("windows-1252"), 1252);
  EXPECT_EQ(Lookup("cp1252"), -1);  // in the comment
  EXPECT_EQ(Lookup("cp1251"), -1);  // the "#" in the name ended the entry
  EXPECT_EQ(Lookup("cp1257"), 1257);
  EXPECT_EQ(Lookup("unclosed"), -1);
  EXPECT_EQ(Count(), 6);
}

TEST_F(AliasTableTest, PassesOverLinesOutsideTheFormat) {
  Parse(
      "utf-8 \"nonumber\"\n"
      "0 \"zero\"\n"
      "1250 \"good\"\n"
      "12");
  EXPECT_EQ(Lookup("nonumber"), -1);
  EXPECT_EQ(Lookup("zero"), -1);
  EXPECT_EQ(Lookup("good"), 1250);
  EXPECT_EQ(Count(), 1);
  Parse("1251 \"nolinefeed\"");
  EXPECT_EQ(Lookup("nolinefeed"), -1);
  Parse("99999999999999999999999 \"huge\"\n");  // does not overflow
  EXPECT_EQ(Count(), 2);
}

TEST_F(AliasTableTest, LaterLinesWinAndLookupLimits) {
  Parse("1250 \"dup\" \"abcdefghijklmnop\"\n1251 \"DUP\"\n");
  EXPECT_EQ(Lookup("Dup"), 1251);
  // The name is cut at the maximum length.
  EXPECT_EQ(Lookup("abcdefghijklmnopqrst"), 1250);
  EXPECT_EQ(Lookup("dupe", 3), 1251);
  EXPECT_EQ(Lookup("dup", 128), -1);
  EXPECT_EQ(Lookup(""), -1);
  EXPECT_EQ(CCharsetAliasTable::Lookup(nullptr, 16), -1);
  CCharsetAliasTable::Free();
  EXPECT_EQ(Lookup("dup"), -1);
  EXPECT_EQ(CCharsetAliasTable::Head(), nullptr);
}

TEST(AliasFileTest, FoundThroughTheInstallLocation) {
  vlttest::CScratchDir dir;
  dir.Write("inst/System32/vltxmlss.txt", "1250 \"found\"\n");
  // Trailing spaces are removed and the separator is added.
  vlttest::ScopedRegistryFile registry(Location(dir.Dir() + "/inst   "));
  WCHAR wszPath[MAX_PATH];
  int nError = -1;
  ASSERT_TRUE(CCharsetAliasTable::FindFile(nullptr, wszPath, &nError));
  EXPECT_EQ(Utf8(wszPath), dir.Dir() + "/inst\\System32\\vltxmlss.txt");
  ASSERT_TRUE(CIcuTrans::Initialize(&nError, nullptr));
  EXPECT_EQ(nError, XML_OK);
  EXPECT_EQ(Lookup("found"), 1250);
  // A second load keeps the table without reading the file.
  dir.Write("inst/System32/vltxmlss.txt", "1251 \"other\"\n");
  ASSERT_TRUE(CIcuTrans::Initialize(&nError, nullptr));
  EXPECT_EQ(Lookup("other"), -1);
  CIcuTrans::Terminate();
  ASSERT_TRUE(CIcuTrans::Initialize(&nError, nullptr));
  EXPECT_EQ(Lookup("other"), 1251);
  CIcuTrans::Terminate();

  registry.Rewrite(Location(dir.Dir() + "/inst\\\\"));
  ASSERT_TRUE(CCharsetAliasTable::FindFile(nullptr, wszPath, &nError));
  EXPECT_EQ(Utf8(wszPath), dir.Dir() + "/inst\\System32\\vltxmlss.txt");
  registry.Rewrite(Location("   "));
  ASSERT_TRUE(CCharsetAliasTable::FindFile(nullptr, wszPath, &nError));
  EXPECT_EQ(Utf8(wszPath), "vltxmlss.txt");
  registry.Rewrite(vlttest::kRegHeader);  // no install key at all
  ASSERT_TRUE(CCharsetAliasTable::FindFile(nullptr, wszPath, &nError));
  EXPECT_EQ(Utf8(wszPath), "vltxmlss.txt");
}

TEST(AliasFileTest, LoadFailures) {
  vlttest::CScratchDir dir;
  int nError = -1;
  vlttest::ScopedRegistryFile registry(Location(dir.Dir() + "/missing"));
  EXPECT_FALSE(CIcuTrans::Initialize(&nError, nullptr));
  EXPECT_EQ(nError, XML_FAILURE);
  dir.Write("empty/System32/vltxmlss.txt", "");
  registry.Rewrite(Location(dir.Dir() + "/empty"));
  EXPECT_FALSE(CIcuTrans::Initialize(&nError, nullptr));
  EXPECT_EQ(nError, XML_FAILURE);
  // A value of another type cannot be used.
  registry.Rewrite(Install(vlttest::RegDword("Location", 1)));
  WCHAR wszPath[MAX_PATH];
  EXPECT_FALSE(CCharsetAliasTable::FindFile(nullptr, wszPath, &nError));
  EXPECT_EQ(nError, XML_FAILURE);
  EXPECT_FALSE(CIcuTrans::Initialize(&nError, nullptr));
  // A file of comments loads and leaves the table empty: every name is UTF-8.
  dir.Write("comments/System32/vltxmlss.txt", "# nothing\n\n   \n# here\n");
  registry.Rewrite(Location(dir.Dir() + "/comments"));
  ASSERT_TRUE(CIcuTrans::Initialize(&nError, nullptr));
  EXPECT_EQ(CCharsetAliasTable::Head(), nullptr);
  CIcuTrans trans;
  std::string doc = "<?xml version='1.0' encoding='ISO-8859-1'?><r/>";
  EXPECT_TRUE(trans.ParseXMLSignature(reinterpret_cast<unsigned char*>(doc.data()),
                                      static_cast<int>(doc.size()), &nError));
  EXPECT_EQ(nError, XML_DEFAULT_ENCODING);
}

TEST(AliasFileTest, BesideTheModule) {
  Dl_info info;
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&CCharsetAliasTable::Free), &info), 0);
  HINSTANCE hModule =
      platform::ModuleFromAddress(reinterpret_cast<void*>(&CCharsetAliasTable::Free));
  ASSERT_NE(hModule, nullptr);
  WCHAR wszPath[MAX_PATH];
  int nError = -1;
  ASSERT_TRUE(CCharsetAliasTable::FindFile(hModule, wszPath, &nError));
  std::string expected = info.dli_fname;
  expected = expected.substr(0, expected.rfind('/') + 1) + "vltxmlss.txt";
  EXPECT_EQ(Utf8(wszPath), expected);
}

}  // namespace
