// The declaration scan: detection, the declaration's grammar, the encoding
// lookup; then the response declaration and the conversion of what follows.
#include <cstdint>
#include <cstring>
#include <vector>

#include "admin/xml/icu_trans.h"
#include "fuzz_xml_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  xmlfuzz::InitializeOnce();
  if (size > 1 << 16) return 0;
  // An exact-size copy, so that reading past the input is caught.
  std::vector<unsigned char> doc(data, data + size);
  CIcuTrans trans;
  int nError = -1;
  if (!trans.ParseXMLSignature(doc.data(), static_cast<int>(size), &nError)) {
    if (nError != XML_BAD_SIGNATURE && nError != XML_UNRECOGNISED) __builtin_trap();
    return 0;
  }
  if (nError != XML_OK && nError != XML_DEFAULT_ENCODING) __builtin_trap();
  const int cbSignature = trans.GetCountOfBytesForSignature();
  if (cbSignature <= 0 || cbSignature >= static_cast<int>(size)) __builtin_trap();

  unsigned short rgwSignature[64];
  int cwSignature = 64;
  if (!trans.FormXMLSignature(rgwSignature, &cwSignature) || cwSignature > 49) __builtin_trap();

  const int cbRest = static_cast<int>(size) - cbSignature;
  std::vector<unsigned short> text(static_cast<size_t>(cbRest));
  int cw = cbRest;
  if (trans.InputToUnicode(doc.data() + cbSignature, cbRest, text.data(), &cw, &nError)) {
    if (cw < 0 || cw > cbRest) __builtin_trap();
    // Back to the document's encoding, into a buffer of just the needed size.
    if (cw > 0) {
      std::vector<unsigned char> out(static_cast<size_t>(cw) * 4);
      int cwIn = cw, cbOut = static_cast<int>(out.size());
      trans.UnicodeToOutput(text.data(), &cwIn, out.data(), &cbOut, &nError);
    }
  }
  unsigned short w;
  for (int n : {1, 0x41, 0xE9, 0xC3A9, 0x8140, 0xFFFF, 0x10000, 0x7FFFFFFF})
    trans.NumericToUnicode(n, &w, &nError);
  return 0;
}
