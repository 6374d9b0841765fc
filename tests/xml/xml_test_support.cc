#include "xml_test_support.h"

#include <memory>

namespace xmltest {

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
