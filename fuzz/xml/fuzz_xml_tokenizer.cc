// The tokenizer over documents in UTF-8, UTF-16LE, UTF-16BE and ISO-8859-1.
// The first input byte chooses the encoding and the buffer capacity; the rest
// is the document after its XML declaration, in that encoding's bytes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "admin/xml/xml_parser.h"
#include "fuzz_xml_support.h"

namespace {

std::string Declaration(int nEncoding) {
  static const char* const kDeclarations[] = {
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
      "\xFF\xFE<?xml version=\"1.0\"?>",
      "\xFE\xFF<?xml version=\"1.0\"?>",
      "<?xml version='1.0' encoding='ISO-8859-1'?>",
  };
  std::string ascii = kDeclarations[nEncoding];
  if (nEncoding == 0 || nEncoding == 3) return ascii;
  std::string out = ascii.substr(0, 2);
  for (size_t i = 2; i < ascii.size(); ++i) {
    if (nEncoding == 1)
      out += {ascii[i], '\0'};
    else
      out += {'\0', ascii[i]};
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  xmlfuzz::InitializeOnce();
  if (size < 1 || size > 1 << 16) return 0;
  const int nEncoding = data[0] & 3;
  const bool fSmallBuffer = (data[0] & 4) != 0;
  std::string doc = Declaration(nEncoding);
  doc.append(reinterpret_cast<const char*>(data + 1), size - 1);
  doc += ' ';  // the declaration must not end the input
  std::vector<unsigned char> bytes(doc.begin(), doc.end());

  CIcuTrans trans;
  int nError = -1;
  if (!trans.ParseXMLSignature(bytes.data(), static_cast<int>(bytes.size()), &nError))
    __builtin_trap();
  // Capacity: exactly the bytes (a heap buffer, so overruns are caught), or
  // the built-in buffer.
  const int cwCapacity = fSmallBuffer ? static_cast<int>(bytes.size()) : 0;
  auto parser = std::make_unique<CXMLParser>(cwCapacity);
  if (!parser->Initialize(&trans, bytes.data(), static_cast<int>(bytes.size()), &nError)) return 0;
  for (int nPass = 0; nPass < 2; ++nPass) {
    for (int i = 0; i < 100000; ++i) {
      CXMLParser::e_XML_Entry eKind;
      unsigned short *pwName, *pwValue;
      int cwName, cwValue;
      if (!parser->GetEntry(&eKind, &pwName, &cwName, &pwValue, &cwValue, &nError)) {
        if (nError < 100 || nError > 106) __builtin_trap();
        break;
      }
      if (eKind == CXMLParser::XML_ENTRY_END) break;
      // Touch what was returned, so that a bad pointer or length shows.
      volatile unsigned short w = 0;
      for (int k = 0; k < cwName; ++k) w = w + pwName[k];
      for (int k = 0; k < cwValue; ++k) w = w + pwValue[k];
    }
    parser->Terminate();
    parser->Reset();
  }
  return 0;
}
