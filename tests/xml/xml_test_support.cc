#include "xml_test_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "registry_recheck.h"

namespace fs = std::filesystem;

namespace xmltest {

void UseRegistry(const TempDir& dir, const char* location) {
  std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n";
  if (location != nullptr) {
    std::string escaped;
    for (const char* p = location; *p; ++p) {
      if (*p == '\\' || *p == '"') escaped += '\\';
      escaped += *p;
    }
    reg +=
        "[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install]\r\n\"Location\"=\"" + escaped + "\"\r\n";
  }
  bool fReplacing = fs::exists(dir.Path("vltadmin.reg"));
  setenv("VLTADMIN_REGISTRY", dir.Write("vltadmin.reg", reg).c_str(), 1);
  if (fReplacing) vlttest::WaitForRegistryRecheck();
}

std::string ShippedAliasFile() {
  const char* source = getenv("VLT_SOURCE_DIR");
  std::ifstream in(std::string(source ? source : VLT_XML_SOURCE_DIR) + "/data/vltxmlss.txt",
                   std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool InitializeWithAliases(const TempDir& dir, const std::string& aliasFile) {
  dir.Write("install/System32/vltxmlss.txt", aliasFile);
  UseRegistry(dir, (dir.Dir() + "/install").c_str());
  int nError = -1;
  return CIcuTrans::Initialize(&nError, nullptr) && nError == XML_OK;
}

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
