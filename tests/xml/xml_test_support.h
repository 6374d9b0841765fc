// Helpers of the XML tests: CIcuTrans initialised from the shipped alias
// file, documents in each encoding, and the entries a parser reports.
#pragma once

#include <string>
#include <vector>

#include "admin/xml/charset_alias.h"
#include "admin/xml/icu_trans.h"
#include "admin/xml/xml_parser.h"
#include "change_documents.h"
#include "platform/text/wstr.h"
#include "scratch_dir.h"
#include "test_registry.h"

namespace xmltest {

// Initialises CIcuTrans; with a vlttest::ScopedRegistryFile alive, from
// the shipped alias file at its install location.
inline bool Initialize() {
  int nError = -1;
  return CIcuTrans::Initialize(&nError, nullptr) && nError == XML_OK;
}

inline std::u16string U16(const std::string& utf8) { return platform::FromUtf8(utf8); }
inline std::string Utf8(const std::u16string& s) { return platform::ToUtf8(s); }

// The code page of an encoding name in the alias table; -1 for none.
inline int Lookup(const std::string& name, int cwMax = 16) {
  std::u16string w = U16(name);
  return CCharsetAliasTable::Lookup(reinterpret_cast<const unsigned short*>(w.c_str()), cwMax);
}

// One entry as text: "TOP r", "ATTR a=1", "DATA x", "UP a", "END",
// or "ERROR n" for a failure.
std::vector<std::string> Entries(CXMLParser& parser, int cMax = 100000);

// Parses a document's bytes (declaration included) and lists its entries;
// a failing ParseXMLSignature or Initialize gives "SIGNATURE n" or "INIT n".
std::vector<std::string> Tokenize(const std::string& bytes, int cwCapacity = 0);

}  // namespace xmltest
