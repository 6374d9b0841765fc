// CXMLParser: entries, nesting, attributes, data and references, errors.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "xml_test_support.h"

using namespace xmltest;
using V = std::vector<std::string>;

namespace {

class XmlParserTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Initialize()); }
  void TearDown() override { CIcuTrans::Terminate(); }

  static V Parse(const std::string& body) { return Tokenize("<?xml version=\"1.0\"?>" + body); }
  // A parser of cwBuffer units (0: the built-in buffer) initialised on doc,
  // whose declaration trans reads.
  static std::unique_ptr<CXMLParser> Open(CIcuTrans& trans, std::string& doc, int cwBuffer = 0) {
    unsigned char* pb = reinterpret_cast<unsigned char*>(doc.data());
    int nError;
    EXPECT_TRUE(trans.ParseXMLSignature(pb, static_cast<int>(doc.size()), &nError));
    auto parser = cwBuffer ? std::make_unique<CXMLParser>(cwBuffer) : std::make_unique<CXMLParser>();
    EXPECT_TRUE(parser->Initialize(&trans, pb, static_cast<int>(doc.size()), &nError));
    return parser;
  }

  vlttest::ScopedRegistryFile m_registry;
};

// Well-formed documents are compared with libxml2 by the differential test;
// these are the tokenizer's own rules and its errors.
TEST_F(XmlParserTest, ElementsAttributesAndMalformedTags) {
  // A closed top element followed by more content moves back to level 0.
  EXPECT_EQ(Parse("<r><a/></r><s/>"), (V{"TOP r", "CHILD a", "TOP r", "TOP s", "END"}));
  // Attribute spacing; names end at a space, "=" sits anywhere after it.
  EXPECT_EQ(Parse("<r  a = '1'b='x y'\t/>\n"), (V{"TOP r", "ATTR a=1", "ATTR b=x y", "ERROR 101"}));
  EXPECT_EQ(Parse("<!-- c -->  "), (V{"INIT 101"}));
  EXPECT_EQ(Parse("<!DOCTYPE r "), (V{"INIT 101"}));
  EXPECT_EQ(Parse("<!-- c -> <r/>"), (V{"INIT 101"}));
  EXPECT_EQ(Parse("<r/>text"), (V{"TOP r", "ERROR 101"}));
  EXPECT_EQ(Parse("<r/><!-- open"), (V{"TOP r", "ERROR 101"}));
  // A processing instruction or CDATA section is read as an element.
  EXPECT_EQ(Parse("<r><![CDATA[x]]></r>")[1], "CHILD ![CDATA[x]]");
}

TEST_F(XmlParserTest, NestingLimitsAndEndTags) {
  // 63 levels parse (as the differential test shows); a 64th does not.
  std::string deep;
  for (int i = 0; i < 64; ++i) deep = "<e>" + deep + "</e>";
  EXPECT_EQ(Parse(deep).back(), "ERROR 100");
  EXPECT_EQ(Parse("<r/></r>"), (V{"TOP r", "ERROR 100"}));
  // The end tag's name is compared over its own length.
  EXPECT_EQ(Parse("<abc></ab>"), (V{"TOP abc", "END"}));
  EXPECT_EQ(Parse("<ab></abc>"), (V{"TOP ab", "ERROR 103"}));
  EXPECT_EQ(Parse("<r></ r >"), (V{"TOP r", "END"}));
  EXPECT_EQ(Parse("<r></r x>"), (V{"TOP r", "ERROR 103"}));
  EXPECT_EQ(Parse("<r></r"), (V{"TOP r", "ERROR 102"}));
  EXPECT_EQ(Parse("<r><a>"), (V{"TOP r", "CHILD a", "ERROR 101"}));
  EXPECT_EQ(Parse("<r"), (V{"ERROR 102"}));
  EXPECT_EQ(Parse("<r/x></r>"), (V{"ERROR 102"}));
  EXPECT_EQ(Parse("<r a='1'/x></r>"), (V{"TOP r", "ATTR a=1", "ERROR 103"}));
  EXPECT_EQ(Parse("<r a></r>"), (V{"TOP r", "ERROR 104"}));
  EXPECT_EQ(Parse("<r a b='1'></r>"), (V{"TOP r", "ERROR 104"}));
  EXPECT_EQ(Parse("<r a=1></r>"), (V{"TOP r", "ERROR 104"}));
  EXPECT_EQ(Parse("<r a='x>y'></r>"), (V{"TOP r", "ERROR 104"}));
  EXPECT_EQ(Parse("<r a='xy"), (V{"TOP r", "ERROR 101"}));
  EXPECT_EQ(Parse("<r>a<!-- c"), (V{"TOP r", "ERROR 101"}));
  EXPECT_EQ(Parse("<r>a"), (V{"TOP r", "ERROR 101"}));
  // Attribute values are returned as written.
  EXPECT_EQ(Parse("<r a='&amp;&#65;<'></r>"), (V{"TOP r", "ATTR a=&amp;&#65;<", "END"}));
}

TEST_F(XmlParserTest, References) {
  for (const char* ref : {"&#X41;", "&#0000065;"})
    EXPECT_EQ(Parse(std::string("<r>") + ref + "</r>"), (V{"TOP r", "DATA A", "END"})) << ref;
  // UTF-8 documents name the encoded bytes: 0xC3A9 is U+00E9.
  EXPECT_EQ(Parse("<r>&#xC3A9;&#50089;</r>"), (V{"TOP r", "DATA \xC3\xA9\xC3\xA9", "END"}));
  for (const char* bad : {"&#;", "&#x;", "&#6A;", "&#x4G;", "&#2147483648;", "&#xE9;", "&#x4142;",
                          "&nbsp;", "& ", "&lt"})
    EXPECT_EQ(Parse(std::string("<r>") + bad + "</r>"), (V{"TOP r", "ERROR 106"})) << bad;
  EXPECT_EQ(Parse("<r>&#65"), (V{"TOP r", "ERROR 101"}));
  EXPECT_EQ(Parse("<r>&#2147483647;</r>"), (V{"TOP r", "ERROR 106"}));
}

// The scans stop at the end of the text wherever it falls, and only there:
// a NUL in the text is an ordinary unit, and runs longer than the scans'
// blocks are followed to their end.
TEST_F(XmlParserTest, ScansStopAtTheEndOfTheTextOnly) {
  using namespace std::string_literals;
  EXPECT_EQ(Parse("<r a\0b='1\0'>x\0y</r>"s), (V{"TOP r", "ATTR a\0b=1\0"s, "DATA x\0y"s, "END"}));
  const std::string name(40, 'n'), spaces(40, ' '), text(40, 't');
  EXPECT_EQ(
      Parse("<" + name + spaces + name + spaces + "=" + spaces + "'" + text + "'" + spaces + ">" +
            spaces + text + "<!--" + spaces + "-->" + spaces + "</" + name + spaces + ">" + spaces),
      (V{"TOP " + name, "ATTR " + name + "=" + text, "DATA " + text, "END"}));
  for (size_t cw = 0; cw < 40; ++cw) {
    const std::string run(cw, 'x'), blank(cw, ' ');
    EXPECT_EQ(Parse("<r>" + run), (V{"TOP r", "ERROR 101"})) << cw;
    EXPECT_EQ(Parse("<r>" + blank), (V{"TOP r", "ERROR 101"})) << cw;
    EXPECT_EQ(Parse("<r a='" + run), (V{"TOP r", "ERROR 101"})) << cw;
    EXPECT_EQ(Parse("<r " + run), cw == 0 ? V{"ERROR 101"} : (V{"TOP r", "ERROR 104"})) << cw;
    EXPECT_EQ(Parse("<" + run).back(), "ERROR 102") << cw;
    EXPECT_EQ(Parse("<r></" + run).back(), cw == 0 ? "ERROR 103" : "ERROR 102") << cw;
  }
}

TEST_F(XmlParserTest, BufferCapacity) {
  const std::string decl = "<?xml version=\"1.0\"?>";
  std::string body = "<r>" + std::string(8192 - 7, 'x') + "</r>";
  ASSERT_EQ(body.size(), 8192u);
  EXPECT_EQ(Tokenize(decl + body).size(), 3u);
  EXPECT_EQ(Tokenize(decl + body + " "), (V{"INIT 5"}));
  EXPECT_EQ(Tokenize(decl + body + " ", 8193).size(), 3u);
  EXPECT_EQ(Tokenize(decl + body + "  ", 8193), (V{"INIT 5"}));
  // A negative capacity means the built-in buffer.
  EXPECT_EQ(Tokenize(decl + body, -5).size(), 3u);
}

TEST_F(XmlParserTest, EndRepeatsResetAndTerminate) {
  std::string doc = "<?xml version=\"1.0\"?><r>a<!-- x --></r> <!-- y --> ";
  CIcuTrans trans;
  auto parser = Open(trans, doc);
  EXPECT_FALSE(parser->Terminate());
  EXPECT_EQ(Entries(*parser), (V{"TOP r", "DATA a", "END"}));
  EXPECT_EQ(Entries(*parser), (V{"END"}));
  EXPECT_TRUE(parser->Terminate());
  parser->Reset();
  EXPECT_EQ(Entries(*parser), (V{"TOP r", "DATA a", "END"}));
}

TEST_F(XmlParserTest, Utf16AndCodePageDocuments) {
  const std::string doc = "<?xml version=\"1.0\"?><r a='\xC3\xA9'>\xE4\xB8\xAD&#x4E2D;</r>";
  // UTF-16 without a byte-order mark.
  for (const char* enc : {"UTF-16LE", "UTF-16BE"})
    EXPECT_EQ(Tokenize(Encode(doc, enc, false)),
              (V{"TOP r", "ATTR a=\xC3\xA9", "DATA \xE4\xB8\xAD\xE4\xB8\xAD", "END"}))
        << enc;
  EXPECT_EQ(Tokenize("<?xml version='1.0' encoding='windows-1251'?><r>\xC1</r>"),
            (V{"TOP r", "DATA \xD0\x91", "END"}));
  // Invalid UTF-8 fails the conversion.
  EXPECT_EQ(Tokenize("<?xml version='1.0'?><r>\xC3</r>"), (V{"INIT 5"}));
}

TEST_F(XmlParserTest, HeapBufferAndUninitialisedUse) {
  CXMLParser parser(20000);
  EXPECT_EQ(Entries(parser), (V{"END"}));
  int nError = 0;
  EXPECT_FALSE(parser.Initialize(nullptr, nullptr, 0, &nError));
  EXPECT_EQ(nError, XML_FAILURE);
  std::unique_ptr<CXMLParser[]> rg(new CXMLParser[2]);
  EXPECT_EQ(Entries(rg[1]), (V{"END"}));
}

// A parser used on after a failure, or moved back by Reset with elements
// open, stays within its buffer and its table of open elements.
TEST_F(XmlParserTest, UseAfterFailureStaysInBounds) {
  for (const char* body : {"<r/></r></r></x>", "<a><b><c></a></b>", "<r><a></a></abcdefgh></r>"}) {
    std::string doc = std::string("<?xml version=\"1.0\"?>") + body;
    CIcuTrans trans;
    // An exact-size heap buffer, so that reading past the text is caught.
    auto parser = Open(trans, doc, static_cast<int>(doc.size()) - 21);
    for (int nPass = 0; nPass < 3; ++nPass) {
      Entries(*parser, 50);
      Entries(*parser, 50);
      parser->Reset();
    }
  }
}

// A conversion that fails on a parser in use writes part of its text over the
// buffer; the earlier document's end must still end every scan.
TEST_F(XmlParserTest, FailedConversionKeepsTheEarlierEnd) {
  std::string first = "<?xml version=\"1.0\"?><r>abc";
  std::string second = "<?xml version=\"1.0\"?><r>abc" + std::string(64, '<') + "\xC3";
  unsigned char* pbSecond = reinterpret_cast<unsigned char*>(second.data());
  CIcuTrans transFirst, transSecond;
  int nError;
  ASSERT_TRUE(transSecond.ParseXMLSignature(pbSecond, static_cast<int>(second.size()), &nError));
  auto parser = Open(transFirst, first, 200);
  EXPECT_FALSE(parser->Initialize(&transSecond, pbSecond, static_cast<int>(second.size()), &nError));
  EXPECT_EQ(nError, XML_FAILURE);
  EXPECT_EQ(Entries(*parser), (V{"TOP r", "ERROR 101"}));
}

}  // namespace
