#include "fuzz_xml_support.h"

#include <fstream>
#include <iterator>
#include <string>

#include "admin/xml/charset_alias.h"
#include "admin/xml/icu_trans.h"

namespace xmlfuzz {

void InitializeOnce() {
  static bool fDone = false;
  if (fDone) return;
  fDone = true;
  std::ifstream in(std::string(VLT_XML_SOURCE_DIR) + "/data/vltxmlss.txt", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  CCharsetAliasTable::Parse(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  // The table is already filled, so this only marks the class initialised.
  int nError;
  CIcuTrans::Initialize(&nError, nullptr);
}

}  // namespace xmlfuzz
