// The alias file parser and lookups in what it built.
#include <cstdint>
#include <cstring>
#include <vector>

#include "admin/xml/charset_alias.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<unsigned char> file(data, data + size);
  CCharsetAliasTable::Parse(file.data(), file.size());
  // Every stored name is lower case, terminated, and found again (or a later
  // alias of the same name is).
  // A code page whose 32 bits read -1 cannot be told from "not found".
  bool fMinusOne = false;
  for (const CharsetAlias* p = CCharsetAliasTable::Head(); p != nullptr; p = p->pNext)
    fMinusOne |= static_cast<int>(p->nCodePage) == -1;
  for (const CharsetAlias* p = CCharsetAliasTable::Head(); p != nullptr; p = p->pNext) {
    const size_t cw = (p->cbName - 2) / 2;
    if (cw == 0 || p->pwszName[cw] != 0) __builtin_trap();
    bool fInnerNul = false;
    for (size_t i = 0; i < cw; ++i) {
      fInnerNul |= p->pwszName[i] == 0;
      if (p->pwszName[i] >= 'A' && p->pwszName[i] <= 'Z') __builtin_trap();
    }
    // A name holding a NUL byte can never be matched in full; others can.
    if (!fInnerNul && !fMinusOne && cw <= 16 && CCharsetAliasTable::Lookup(p->pwszName, 16) == -1)
      __builtin_trap();
  }
  // The input's first bytes as a name.
  unsigned short rgwName[20] = {};
  for (size_t i = 0; i < size && i < 19; ++i) rgwName[i] = data[i];
  CCharsetAliasTable::Lookup(rgwName, 16);
  CCharsetAliasTable::Free();
  if (CCharsetAliasTable::Head() != nullptr) __builtin_trap();
  return 0;
}
