// Differential test: well-formed documents in four encodings are tokenized by
// CXMLParser and read by libxml2's xmlReader; both must report the same
// entries. The expected entries are derived from libxml2's nodes with the
// tokenizer's rules for levels and for white space at the start of data and
// after comments; attribute values, which the tokenizer returns as written,
// are decoded before comparing.
#include <gtest/gtest.h>
#include <libxml/xmlreader.h>

#include <string>
#include <vector>

#include "xml_test_support.h"

using namespace xmltest;

namespace {

// Every character of the documents is in the BMP.
std::string Utf8Of(char32_t c) { return Utf8(std::u16string(1, static_cast<char16_t>(c))); }

// Documents (UTF-8 text, without the declaration) with each construct the two
// readers agree on: element names end at a space (never a tab or line
// break), the top element is never an empty element with attributes,
// character references never name white space and, in a UTF-8 document,
// name only ASCII characters (the tokenizer reads their numbers as encoded
// bytes). fLatin1 marks those that ISO-8859-1 can carry.
struct SDocument {
  std::string text;
  bool fLatin1;
  bool fUtf8;
};

std::vector<SDocument> Documents() {
  std::string deep;
  for (int i = 0; i < 62; ++i) deep = "<e" + std::to_string(i % 7) + " >t" + deep + "</e" + std::to_string(i % 7) + ">";
  std::string run;
  for (int i = 0; i < 200; ++i) run += "abcdefgh";
  return {
      {"<r a=\"1\" b='x y'>text<c/>more<d e = \"&lt;&amp;&gt;&apos;&quot;&#65;&#x42;\" f='\"q\"'>in d</d>tail</r>", true, true},
      {"\n<!-- c -->  <!DOCTYPE r>\r\n <r><!-- in -->  after<s>x</s><!--t-->  y</r> <!-- end -->\n", true, true},
      {"<a><b><c>1</c><c>2</c></b><b/><b x='1' /></a >", true, true},
      {"<r>\n  <x> lead</x>\t\r\n tail\t</r>", true, true},
      {"<r>&lt;&gt;&amp;&apos;&quot;&#33;&#x7E;&#x7e; and a run of text after them</r>", true, true},
      {"<r n='\xC3\xA9'>caf\xC3\xA9 &#xE9;&#233;</r>", true, false},
      {"<\xC3\xA9l \xE4\xB8\xAD='\xE4\xB8\xAD'>\xE4\xB8\xAD&#x4E2D;&#xFFFD;</\xC3\xA9l>", false, false},
      {"<\xC3\xA9l \xC3\xA9='\xE4\xB8\xAD'>\xE4\xB8\xAD\xC3\xA9</\xC3\xA9l>", false, true},
      {"<top>" + deep + "</top>", true, true},
      {"<r a='" + run + "'>" + run + "<s>" + run + "</s></r>", true, true},
  };
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string LeftTrim(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && IsXmlSpace(s[i])) ++i;
  return s.substr(i);
}

// The entries CXMLParser should report, from libxml2's reading of the bytes.
std::vector<std::string> ReadWithLibxml2(const std::string& bytes, bool* pfOk) {
  std::vector<std::string> out;
  xmlTextReaderPtr reader = xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()),
                                               nullptr, nullptr, XML_PARSE_NONET);
  int depth = 0, level = 0;
  std::string data;
  bool fInData = false;  // text seen since the last tag
  auto flush = [&]() {
    if (!data.empty()) out.push_back("DATA " + data);
    data.clear();
    fInData = false;
  };
  int nRead;
  while ((nRead = xmlTextReaderRead(reader)) == 1) {
    const int type = xmlTextReaderNodeType(reader);
    auto str = [](const xmlChar* p) {
      return std::string(p ? reinterpret_cast<const char*>(p) : "");
    };
    switch (type) {
      case XML_READER_TYPE_ELEMENT: {
        flush();
        std::string name = str(xmlTextReaderConstName(reader));
        const bool fEmpty = xmlTextReaderIsEmptyElement(reader);
        ++depth;
        const int nLevel = depth - 1;
        const char* kind = level != nLevel ? "CHILD " : (level != 0 ? "SIBLING " : "TOP ");
        level = nLevel;
        out.push_back(kind + name);
        while (xmlTextReaderMoveToNextAttribute(reader) == 1)
          out.push_back("ATTR " + str(xmlTextReaderConstName(reader)) + "=" +
                        str(xmlTextReaderConstValue(reader)));
        xmlTextReaderMoveToElement(reader);
        if (fEmpty) --depth;
        break;
      }
      case XML_READER_TYPE_END_ELEMENT: {
        flush();
        --depth;
        if (depth != 0 && depth < level) {
          level = depth;
          out.push_back("UP " + str(xmlTextReaderConstName(reader)));
        }
        break;
      }
      case XML_READER_TYPE_TEXT:
      case XML_READER_TYPE_WHITESPACE:
      case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
        data += fInData ? str(xmlTextReaderConstValue(reader))
                        : LeftTrim(str(xmlTextReaderConstValue(reader)));
        fInData = !data.empty();
        break;
      case XML_READER_TYPE_COMMENT:
        fInData = false;  // white space after a comment is dropped
        break;
      default:
        break;
    }
  }
  flush();
  out.push_back("END");
  *pfOk = nRead == 0;
  xmlFreeTextReader(reader);
  return out;
}

// Attribute values as the tokenizer returns them are undecoded: decode them
// as XML does (code points) for the comparison.
std::string DecodeReferences(const std::string& s) {
  static const char* const kEntities[][2] = {
      {"lt", "<"}, {"gt", ">"}, {"amp", "&"}, {"apos", "'"}, {"quot", "\""}};
  std::string out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] != '&') {
      out += s[i++];
      continue;
    }
    const size_t semi = s.find(';', i);
    const std::string ref = s.substr(i + 1, semi - i - 1);
    i = semi + 1;
    if (ref[0] == '#') {
      const bool fHex = ref[1] == 'x' || ref[1] == 'X';
      out += Utf8Of(std::stoul(ref.substr(fHex ? 2 : 1), nullptr, fHex ? 16 : 10));
      continue;
    }
    for (const auto& entity : kEntities)
      if (ref == entity[0]) out += entity[1];
  }
  return out;
}

class XmlDifferentialTest : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { ASSERT_TRUE(Initialize()); }
  void TearDown() override { CIcuTrans::Terminate(); }
  vlttest::ScopedRegistryFile m_registry;
};

TEST_P(XmlDifferentialTest, EntriesMatchLibxml2) {
  const std::string encoding = GetParam();
  const bool fUtf8 = encoding == "UTF-8", fLatin1 = encoding == "ISO-8859-1";
  for (const SDocument& document : Documents()) {
    if ((fLatin1 && !document.fLatin1) || (fUtf8 && !document.fUtf8)) continue;
    for (bool fDeclared : {true, false}) {
      if (!fUtf8 && !fDeclared && fLatin1) continue;
      const std::string text = std::string("<?xml version=\"1.0\"") +
                               (fDeclared ? " encoding='" + std::string(fLatin1 ? "latin1" : fUtf8 ? "utf-8" : "UTF-16") + "'" : "") +
                               "?>" + document.text;
      const std::string bytes = Encode(text, encoding);
      bool fOk = false;
      std::vector<std::string> expected = ReadWithLibxml2(bytes, &fOk);
      ASSERT_TRUE(fOk) << "libxml2 refused:\n" << text;
      const int cwCapacity = static_cast<int>(bytes.size()) + 1;
      std::vector<std::string> actual = Tokenize(bytes, cwCapacity > 8192 ? cwCapacity : 0);
      for (std::string& entry : actual)
        if (entry.rfind("ATTR ", 0) == 0) entry = DecodeReferences(entry);
      EXPECT_EQ(actual, expected) << text;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Encodings, XmlDifferentialTest,
                         testing::Values("UTF-8", "UTF-16LE", "UTF-16BE", "ISO-8859-1"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
