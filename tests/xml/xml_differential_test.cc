// Differential test: generated well-formed documents in four encodings are
// tokenized by CXMLParser and read by libxml2's xmlReader; both must report
// the same entries.
//
// The generator stays where the two readers agree by design: element names
// end at a space (never a tab or line break), the top element is never an
// empty element with attributes, character references never name white
// space, and in a UTF-8 document they name only ASCII characters (the
// tokenizer reads their numbers as encoded bytes). The expected entries are
// derived from libxml2's nodes with the tokenizer's rules for levels and for
// white space at the start of data and after comments; attribute values,
// which the tokenizer returns as written, are decoded before comparing.
#include <gtest/gtest.h>
#include <libxml/xmlreader.h>

#include <random>
#include <string>
#include <vector>

#include "xml_test_support.h"

using namespace xmltest;

namespace {

// Every character generated is in the BMP.
std::string Utf8Of(char32_t c) { return Utf8(std::u16string(1, static_cast<char16_t>(c))); }

class Generator {
 public:
  Generator(unsigned seed, std::string encoding) : m_rng(seed), m_encoding(std::move(encoding)) {}

  // A document (as UTF-8 text) with its declaration.
  std::string Document() {
    std::string doc = "<?xml version=" + Quote("1.0");
    if (m_encoding != "UTF-8" || Chance(50)) doc += " encoding=" + Quote(DeclaredName());
    if (Chance(20)) doc += " standalone=" + Quote(Chance(50) ? "yes" : "no");
    doc += "?>";
    std::string root = Name();
    doc += Misc();
    if (Chance(40)) doc += "<!DOCTYPE " + root + ">" + Misc();
    m_maxDepth = Chance(10) ? 63 : static_cast<int>(Below(12)) + 1;
    m_deepChain = m_maxDepth == 63;
    doc += Element(root, 0, true);
    doc += Misc();
    return doc;
  }

 private:
  bool Chance(int percent) { return Below(100) < static_cast<unsigned>(percent); }
  unsigned Below(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(m_rng); }

  std::string DeclaredName() {
    if (m_encoding == "UTF-8") return Chance(50) ? "UTF-8" : "utf-8";
    if (m_encoding == "ISO-8859-1") return Chance(50) ? "ISO-8859-1" : "latin1";
    return "UTF-16";
  }
  std::string Quote(const std::string& s) { return Chance(50) ? "\"" + s + "\"" : "'" + s + "'"; }
  std::string Space() {
    static const char* const kSpaces[] = {"", " ", "\n", "  \t", "\r\n "};
    return kSpaces[Below(5)];
  }
  // White space, comments, both or nothing, between top-level constructs.
  std::string Misc() {
    std::string s = Space();
    for (unsigned n = Below(3); n > 0; --n) s += Comment() + Space();
    return s;
  }
  std::string Comment() {
    std::string s = "<!--";
    for (unsigned n = Below(12); n > 0; --n) {
      const char c = "ab -x<&>'\""[Below(10)];
      if (s.size() == 4 && (c == '-' || c == '>')) continue;
      if (c != '-' || s.back() != '-') s += c;
    }
    if (!s.empty() && s.back() == '-') s += 'z';
    return s + "-->";
  }
  bool Wide() const { return m_encoding == "UTF-16LE" || m_encoding == "UTF-16BE"; }

  std::string Name() {
    static const char* const kStarts[] = {"a",  "b",    "Req",      "x",
                                          "_u", "name", "\xC3\xA9", "\xE4\xB8\xAD"};
    std::string s = kStarts[Below(Wide() || m_encoding == "UTF-8" ? 8 : 7)];
    for (unsigned n = Below(5); n > 0; --n) s += "az09-._"[Below(7)];
    return s;
  }

  // A character for text or attribute values; never "<", "&", "]" or CR.
  std::string Char(bool fAttribute) {
    switch (Below(10)) {
      case 0:
        return Reference();
      case 1:
        return fAttribute ? std::string(1, Chance(50) ? '\'' : '"') : " ";
      case 2:
        return fAttribute ? " " : std::string(1, "\t\n '\">"[Below(6)]);
      case 3:
        if (m_encoding == "ISO-8859-1") return Utf8Of(0xA0 + Below(0x60));
        return Utf8Of(Chance(50) ? 0xE9 : 0x4E2D);
      default:
        return std::string(1, "abcdefxyzABC0123.,;:!?=/-+*#"[Below(28)]);
    }
  }
  std::string Reference() {
    static const char* const kEntities[] = {"&lt;", "&gt;", "&amp;", "&apos;", "&quot;"};
    if (Chance(40)) return kEntities[Below(5)];
    char32_t c;
    if (m_encoding == "UTF-8" || Chance(50))
      c = 33 + Below(94);  // printable ASCII
    else if (m_encoding == "ISO-8859-1")
      c = 0xA0 + Below(0x60);
    else
      c = Chance(50) ? 0xA0 + Below(0xD7FF - 0xA0) : 0xE000 + Below(0xFFFD - 0xE000);
    char buf[16];
    snprintf(buf, sizeof(buf), Chance(50) ? "&#%u;" : (Chance(50) ? "&#x%X;" : "&#x%x;"),
             static_cast<unsigned>(c));
    return buf;
  }
  std::string Text(bool fAttribute, char quote = 0) {
    std::string s;
    for (unsigned n = Below(fAttribute ? 8 : 20); n > 0; --n) {
      std::string c = Char(fAttribute);
      if (fAttribute && c.size() == 1 && c[0] == quote) c = quote == '"' ? "&quot;" : "&apos;";
      s += c;
    }
    return s;
  }

  std::string Element(const std::string& name, int depth, bool fTop) {
    std::string s = "<" + name;
    bool fAttributes = false;
    std::vector<std::string> used;
    for (unsigned n = Below(4); n > 0; --n) {
      std::string attr = Name();
      bool fDuplicate = false;
      for (const auto& u : used) fDuplicate |= u == attr;
      if (fDuplicate) continue;
      used.push_back(attr);
      char q = Chance(50) ? '"' : '\'';
      s += " " + attr + (Chance(20) ? " = " : "=") + q + Text(true, q) + q;
      fAttributes = true;
    }
    if (Chance(20)) s += fAttributes && Chance(50) ? "\n" : " ";
    const bool fEmpty = !(fTop && fAttributes) && depth > 0 && Chance(30) && !m_deepChain;
    if (fEmpty) return s + "/>";
    s += ">";
    if (m_deepChain && depth < 62) {
      s += Text(false) + Element(Name(), depth + 1, false) + Text(false);
    } else {
      m_deepChain = false;
      for (unsigned n = Below(depth + 1 < m_maxDepth ? 5 : 2); n > 0; --n) {
        switch (Below(4)) {
          case 0:
            s += Comment();
            break;
          case 1:
            if (depth + 1 < m_maxDepth) {
              s += Element(Name(), depth + 1, false);
              break;
            }
            [[fallthrough]];
          default:
            s += Text(false);
            break;
        }
      }
    }
    return s + "</" + name + (Chance(20) ? " >" : ">");
  }

  std::mt19937 m_rng;
  std::string m_encoding;
  int m_maxDepth = 1;
  bool m_deepChain = false;
};

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
  void SetUp() override { ASSERT_TRUE(InitializeWithAliases(m_dir, ShippedAliasFile())); }
  void TearDown() override { CIcuTrans::Terminate(); }
  TempDir m_dir;
};

TEST_P(XmlDifferentialTest, EntriesMatchLibxml2) {
  const std::string encoding = GetParam();
  Generator generator(20261206u + encoding.size() * 7919u + encoding.back(), encoding);
  int cDeep = 0;
  for (int i = 0; i < 400; ++i) {
    const std::string text = generator.Document();
    const std::string bytes = Encode(text, encoding);
    bool fOk = false;
    std::vector<std::string> expected = ReadWithLibxml2(bytes, &fOk);
    ASSERT_TRUE(fOk) << "libxml2 refused a generated document:\n" << text;
    const int cwCapacity = static_cast<int>(bytes.size()) + 1;
    std::vector<std::string> actual = Tokenize(bytes, cwCapacity > 8192 ? cwCapacity : 0);
    for (std::string& entry : actual)
      if (entry.rfind("ATTR ", 0) == 0) entry = DecodeReferences(entry);
    size_t iDiff = 0;
    while (iDiff < actual.size() && iDiff < expected.size() && actual[iDiff] == expected[iDiff])
      ++iDiff;
    ASSERT_TRUE(actual == expected)
        << "document " << i << ", entry " << iDiff << ": tokenizer "
        << (iDiff < actual.size() ? actual[iDiff] : "(none)") << ", libxml2 "
        << (iDiff < expected.size() ? expected[iDiff] : "(none)") << "\n"
        << text;
    cDeep += expected.size() > 120;
  }
  EXPECT_GT(cDeep, 0) << "no deeply nested document was generated";
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
