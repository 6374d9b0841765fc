#include "xml_test_support.h"

#include <memory>

namespace xmltest {

std::string Encode(const std::string& utf8, const std::string& encoding, bool fMark) {
  if (encoding == "UTF-8") return utf8;
  std::u16string text = U16(utf8);
  std::string out;
  if (encoding == "ISO-8859-1") {
    for (char16_t c : text) out += static_cast<char>(c);
    return out;
  }
  const bool fLittle = encoding == "UTF-16LE";
  if (fMark) out += fLittle ? "\xFF\xFE" : "\xFE\xFF";
  for (char16_t c : text) {
    char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    out += fLittle ? lo : hi;
    out += fLittle ? hi : lo;
  }
  return out;
}

std::vector<std::string> Entries(CXMLParser& parser, int cMax) {
  static const char* const kNames[] = {"NONE", "TOP",  "CHILD", "SIBLING",
                                       "UP",   "ATTR", "DATA",  "END"};
  std::vector<std::string> out;
  for (int i = 0; i < cMax; ++i) {
    CXMLParser::e_XML_Entry eKind;
    unsigned short *pwName, *pwValue;
    int cwName, cwValue, nError;
    if (!parser.GetEntry(&eKind, &pwName, &cwName, &pwValue, &cwValue, &nError)) {
      out.push_back("ERROR " + std::to_string(nError));
      break;
    }
    std::string entry = kNames[eKind];
    if (eKind == CXMLParser::XML_ENTRY_END) {
      out.push_back(entry);
      break;
    }
    entry += " " + Utf8(std::u16string(reinterpret_cast<char16_t*>(pwName), cwName));
    if (eKind == CXMLParser::XML_ENTRY_ATTRIBUTE)
      entry += "=" + Utf8(std::u16string(reinterpret_cast<char16_t*>(pwValue), cwValue));
    out.push_back(entry);
  }
  return out;
}

std::vector<std::string> Tokenize(const std::string& bytes, int cwCapacity) {
  std::string copy = bytes;
  unsigned char* pb = reinterpret_cast<unsigned char*>(copy.data());
  CIcuTrans trans;
  int nError = -1;
  if (!trans.ParseXMLSignature(pb, static_cast<int>(copy.size()), &nError))
    return {"SIGNATURE " + std::to_string(nError)};
  auto parser = std::make_unique<CXMLParser>(cwCapacity);
  if (!parser->Initialize(&trans, pb, static_cast<int>(copy.size()), &nError))
    return {"INIT " + std::to_string(nError)};
  return Entries(*parser);
}

}  // namespace xmltest
