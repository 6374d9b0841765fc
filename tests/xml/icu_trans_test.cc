// CIcuTrans: detection, the declaration scan, conversions, the response
// declaration.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "own_process.h"
#include "xml_test_support.h"

using namespace xmltest;

namespace {

class IcuTransTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Initialize()); }
  void TearDown() override { CIcuTrans::Terminate(); }

  // ParseXMLSignature's code (0 or 3 on success, with the signature count in
  // *pcb), or -code on failure.
  int Scan(CIcuTrans& trans, std::string bytes, int* pcb = nullptr) {
    m_doc = std::move(bytes);
    int nError = -1;
    bool f = trans.ParseXMLSignature(reinterpret_cast<unsigned char*>(m_doc.data()),
                                     static_cast<int>(m_doc.size()), &nError);
    if (pcb) *pcb = trans.GetCountOfBytesForSignature();
    return f ? nError : -nError;
  }
  int Scan(std::string bytes) {
    CIcuTrans trans;
    return Scan(trans, std::move(bytes));
  }
  static std::string Declaration(CIcuTrans& trans) {
    unsigned short rgw[64];
    int cw = 64;
    EXPECT_TRUE(trans.FormXMLSignature(rgw, &cw));
    return Utf8(std::u16string(reinterpret_cast<char16_t*>(rgw), cw));
  }

  vlttest::ScopedRegistryFile m_registry;
  std::string m_doc;
};

TEST_F(IcuTransTest, RefusesUnrecognisedStarts) {
  // Documents that are read are detected alike by the parser, differential
  // and protocol tests; these are the refusals.
  EXPECT_EQ(Scan(std::string("\xFF\xFE\x20\x00<\0", 6)), -XML_UNRECOGNISED);
  EXPECT_EQ(Scan("\xEF\xBB\xBF<?xml version=\"1.0\"?><r/>"), -XML_UNRECOGNISED);
  EXPECT_EQ(Scan("<r>no declaration</r>"), -XML_UNRECOGNISED);
  EXPECT_EQ(Scan(Encode("<r>no declaration</r>", "UTF-16LE")), -XML_BAD_SIGNATURE);
  EXPECT_EQ(Scan(Encode("<r>no declaration</r>", "UTF-16LE", false)), -XML_UNRECOGNISED);
  EXPECT_EQ(Scan("<?x"), -XML_BAD_SIGNATURE);
  EXPECT_EQ(Scan("<?xml version=\"1.0\"?>"), -XML_BAD_SIGNATURE);
  EXPECT_EQ(Scan("<?xml version=\"1.0\""), -XML_BAD_SIGNATURE);
  CIcuTrans preset, codepage, fresh;
  preset.SetEncodingMethod(2);
  EXPECT_EQ(Scan(preset, "abcd"), -XML_UNRECOGNISED);
  codepage.SetEncodingMethod(ENCODING_CODEPAGE);
  EXPECT_EQ(Scan(codepage, "abcd"), -XML_BAD_SIGNATURE);
  unsigned short rgw[64];
  int cw = 63;  // the declaration needs room for 64 units
  EXPECT_FALSE(fresh.FormXMLSignature(rgw, &cw));
  EXPECT_EQ(cw, 0);
}

TEST_F(IcuTransTest, DeclarationScanAcceptsItsGrammar) {
  EXPECT_EQ(Scan("<?xml  \n version = \"1.0' \t?><r/>"), XML_DEFAULT_ENCODING);
  EXPECT_EQ(Scan("<?xml version=\"1.0\" standalone='yes' encoding=\"utf-8\"?><r/>"), XML_OK);
  EXPECT_EQ(Scan("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?><r/>"), XML_OK);
  for (const char* bad : {"<?xml version=\"1.0\"? ><r/>", "<?xml\tversion=\"1.0\"?><r/>",
                          "<?xml version=\"1.1\"?><r/>",
                          "<?xml version=\"1.0\" encoding='utf-8' encoding='utf-8'?><r/>",
                          "<?xml version=\"1.0\" standalone='maybe'?><r/>",
                          "<?xml version=\"1.0\" encoding='abcdefghijklmno'?><r/>",
                          "<?xml version=\"1.0\" encoding='utf-8"})
    EXPECT_EQ(Scan(bad), -XML_BAD_SIGNATURE) << bad;
  // Fourteen characters fit; unknown and space-led names fall back to UTF-8.
  CIcuTrans unknown, spaced;
  EXPECT_EQ(Scan(unknown, "<?xml version=\"1.0\" encoding='abcdefghijklmn'?><r/>"),
            XML_DEFAULT_ENCODING);
  EXPECT_EQ(Declaration(unknown), "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>");
  EXPECT_EQ(Scan(spaced, "<?xml version=\"1.0\" encoding=' utf-8'?><r/>"), XML_DEFAULT_ENCODING);
  // UTF-16 documents skip the declared name.
  CIcuTrans le;
  EXPECT_EQ(Scan(le, Encode("<?xml version=\"1.0\" encoding=\"a-very-long-encoding-name\"?><r/>",
                            "UTF-16LE")),
            XML_OK);
  EXPECT_EQ(Declaration(le), "<?xml version=\"1.0\"?>");
}

// Initialisation is process-wide and never undone.
TEST(IcuTransUninitialised, ParseRefusesUntilInitialised) {
  VLT_IN_OWN_PROCESS(
    CIcuTrans trans;
    std::string doc = "<?xml version=\"1.0\"?><r/>";
    int nError = 0;
    EXPECT_FALSE(trans.ParseXMLSignature(reinterpret_cast<unsigned char*>(doc.data()),
                                         static_cast<int>(doc.size()), &nError));
    EXPECT_EQ(nError, XML_FAILURE);
  );
}

// InputToUnicode with a capacity of cw units: the units, or "fail".
std::string In(CIcuTrans& trans, std::vector<unsigned char> rgb, int cw) {
  std::vector<unsigned short> rgw(static_cast<size_t>(cw) + 1);
  int nError = -1;
  if (!trans.InputToUnicode(rgb.data(), static_cast<int>(rgb.size()), rgw.data(), &cw, &nError)) {
    EXPECT_EQ(nError, XML_FAILURE);
    return "fail";
  }
  return Utf8(std::u16string(rgw.begin(), rgw.begin() + cw));
}

// UnicodeToOutput of units into cb bytes: the bytes and the units taken, or
// "fail".
std::string Out(CIcuTrans& trans, std::u16string text, int cb) {
  std::vector<unsigned char> rgb(static_cast<size_t>(cb) + 1);
  int cw = static_cast<int>(text.size()), nError = -1;
  if (!trans.UnicodeToOutput(reinterpret_cast<unsigned short*>(text.data()), &cw, rgb.data(), &cb,
                             &nError)) {
    EXPECT_EQ(nError, XML_FAILURE);
    return "fail";
  }
  EXPECT_EQ(nError, XML_OK);
  return std::string(rgb.begin(), rgb.begin() + cb) + "/" + std::to_string(cw);
}

TEST_F(IcuTransTest, InputToUnicodeAndUnicodeToOutput) {
  // The capacity must hold one unit per byte even where fewer would do.
  CIcuTrans utf8;
  ASSERT_EQ(Scan(utf8, "<?xml version='1.0' encoding='utf-8'?><r/>"), XML_OK);
  EXPECT_EQ(In(utf8, {0xE4, 0xB8, 0xAD}, 2), "fail");
  EXPECT_EQ(In(utf8, {0xE4, 0xB8, 0xAD}, 3), "\xE4\xB8\xAD");
  EXPECT_EQ(In(utf8, {0xE4, 0xB8, 0xAD}, 0), "fail");
  EXPECT_EQ(In(utf8, {}, 4), "fail");
  // UTF-16 takes whole units; an odd last byte is left.
  CIcuTrans be;
  be.SetEncodingMethod(ENCODING_UTF16BE);
  EXPECT_EQ(In(be, {0x4E, 0x2D, 0x00, 0x41, 0x7F}, 2), "\xE4\xB8\xAD" "A");
  EXPECT_EQ(In(be, {0x4E, 0x2D, 0x00, 0x41, 0x7F}, 1), "fail");
  const std::u16string text = u"A\u00e9\u4e2d";
  CIcuTrans le, latin;
  le.SetEncodingMethod(ENCODING_UTF16LE);
  EXPECT_EQ(Out(le, text, 5), std::string("A\0\xE9\0/2", 6));  // whole units that fit
  EXPECT_EQ(Out(be, text, 16), std::string("\0A\0\xE9\x4E\x2D/3", 8));
  ASSERT_EQ(Scan(latin, "<?xml version='1.0' encoding='latin1'?><r/>"), XML_OK);
  EXPECT_EQ(Out(latin, text.substr(0, 2), 16), "A\xE9/2");
  EXPECT_EQ(Out(latin, text, 16), "fail");  // U+4E2D has no ISO-8859-1 byte
  EXPECT_EQ(Out(latin, text.substr(0, 2), 1), "fail");
  EXPECT_EQ(Out(latin, u"", 16), "fail");
  unsigned short w = 'A';
  unsigned char b;
  int cw = 1, cb = 1;
  EXPECT_FALSE(latin.UnicodeToOutput(&w, &cw, &b, &cb, nullptr));
}

TEST_F(IcuTransTest, NumericToUnicode) {
  CIcuTrans le, sjis, gb;
  le.SetEncodingMethod(ENCODING_UTF16LE);
  ASSERT_EQ(Scan(sjis, "<?xml version='1.0' encoding='Shift_JIS'?><r/>"), XML_OK);
  ASSERT_EQ(Scan(gb, "<?xml version='1.0' encoding='GB18030'?><r/>"), XML_OK);
  const struct {
    CIcuTrans* pTrans;
    int n;
    int wExpected;  // -1: refused with XML_FAILURE
  } cases[] = {
      {&le, 0xFFFF, 0xFFFF}, {&le, 0x10000, -1}, {&le, 0, -1}, {&le, -1, -1},
      {&sjis, 0x82A0, 0x3042},  // HIRAGANA A
      {&sjis, 65, 'A'},         {&sjis, 0x82, -1},  // a lead byte alone
      {&gb, 0xD6D0, 0x4E2D},
      {&gb, static_cast<int>(0x90308130u), -1},  // outside the BMP: two code units
  };
  for (const auto& c : cases) {
    unsigned short w = 0;
    int nError = 77;  // UTF-16 leaves it as it was on success
    EXPECT_EQ(c.pTrans->NumericToUnicode(c.n, &w, &nError), c.wExpected >= 0) << c.n;
    EXPECT_EQ(c.wExpected >= 0 ? int{w} : nError, c.wExpected >= 0 ? c.wExpected : XML_FAILURE) << c.n;
    if (c.wExpected >= 0 && c.pTrans == &le) {
      EXPECT_EQ(nError, 77) << c.n;
    }
  }
}

// The usual start of a declaration, "<?xml version="1.0" encoding="", is
// read in one step; the same declarations spelled otherwise take the
// character-by-character path. Both must end alike.
TEST_F(IcuTransTest, UsualDeclarationStartReadsLikeAnyOther) {
  for (const char* tail :
       {"UTF-8\"?><r/>", "utf-8' standalone='no' ?><r/>", "abcdefghijklmn\"?><r/>",
        "abcdefghijklmno\"?><r/>", "x\"", "x\"?>", "latin1\" encoding='x'?><r/>", "\"?>\n<r/>",
        "UTF-8", "Shift_JIS\"\t?><r/>"}) {
    CIcuTrans usual, other;
    int cbUsual = -1, cbOther = -1;
    const int nUsual =
        Scan(usual, std::string("<?xml version=\"1.0\" encoding=\"") + tail, &cbUsual);
    const int nOther =
        Scan(other, std::string("<?xml version=\"1.0'  encoding=\"") + tail, &cbOther);
    EXPECT_EQ(nUsual, nOther) << tail;
    if (nUsual >= 0) {
      EXPECT_EQ(cbUsual + 1, cbOther) << tail;
      EXPECT_EQ(Declaration(usual), Declaration(other)) << tail;
    }
  }
}

// 7-bit input is widened in blocks; a byte of 0x80 or more anywhere, in a
// block or in the tail, sends the whole input through the code page.
TEST_F(IcuTransTest, WideningFindsHighBytesAnywhere) {
  CIcuTrans latin;
  ASSERT_EQ(Scan(latin, "<?xml version='1.0' encoding='latin1'?><r/>"), XML_OK);
  for (int cb : {1, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100, 200}) {
    for (int iHigh = -1; iHigh < cb; iHigh += (iHigh < 70 ? 1 : 37)) {
      std::vector<unsigned char> rgb(static_cast<size_t>(cb));
      for (int i = 0; i < cb; ++i) rgb[i] = static_cast<unsigned char>(0x20 + (i * 7) % 0x5F);
      if (iHigh >= 0) rgb[iHigh] = 0xE9;
      std::vector<unsigned short> rgw(static_cast<size_t>(cb));
      int cw = cb, nError = -1;
      ASSERT_TRUE(latin.InputToUnicode(rgb.data(), cb, rgw.data(), &cw, &nError));
      ASSERT_EQ(cw, cb);
      for (int i = 0; i < cb; ++i) ASSERT_EQ(rgw[i], rgb[i]) << cb << " " << iHigh << " " << i;
    }
  }
  // The same in UTF-8, where the high byte alone is invalid.
  CIcuTrans utf8;
  ASSERT_EQ(Scan(utf8, "<?xml version='1.0' encoding='utf-8'?><r/>"), XML_OK);
  std::vector<unsigned char> rgb(100, 'a');
  rgb[70] = 0xE9;
  std::vector<unsigned short> rgw(100);
  int cw = 100, nError = -1;
  EXPECT_FALSE(utf8.InputToUnicode(rgb.data(), 100, rgw.data(), &cw, &nError));
  EXPECT_EQ(nError, XML_FAILURE);
}

}  // namespace
