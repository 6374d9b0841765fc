// The alias list: parsing the alias file's bytes, lookup and freeing.
#include "admin/xml/charset_alias.h"

#include <cctype>
#include <cstring>
#include <new>

#include "platform/text/wstr.h"

CharsetAlias* CCharsetAliasTable::ms_pHead = nullptr;

namespace {

// Position of the first line feed at or after pos, or cb.
size_t EndOfLine(const unsigned char* pb, size_t cb, size_t pos) {
  const void* p = pos < cb ? memchr(pb + pos, '\n', cb - pos) : nullptr;
  return p == nullptr ? cb : static_cast<size_t>(static_cast<const unsigned char*>(p) - pb);
}

// Case-insensitive equality as _wcsicmp tests it, with ASCII letters
// folded here and other units by towlower.
bool EqualIgnoringCase(const WCHAR* pwszA, const WCHAR* pwszB) {
  for (;; ++pwszA, ++pwszB) {
    WCHAR a = *pwszA, b = *pwszB;
    if (a != b) {
      if (a < 0x80 && b < 0x80) {
        if (a >= u'A' && a <= u'Z') a = static_cast<WCHAR>(a + 32);
        if (b >= u'A' && b <= u'Z') b = static_cast<WCHAR>(b + 32);
      } else {
        a = towlower(a);
        b = towlower(b);
      }
      if (a != b) return false;
    }
    if (a == 0) return true;
  }
}

}  // namespace

void CCharsetAliasTable::Add(int64_t nCodePage, const unsigned char* pbName, size_t cbName) {
  if (cbName == 0 || cbName > 0x7FFFFFFE / 2) return;
  CharsetAlias* pAlias = new (std::nothrow) CharsetAlias;
  if (pAlias == nullptr) return;
  pAlias->pwszName = new (std::nothrow) unsigned short[cbName + 1];
  if (pAlias->pwszName == nullptr) {
    delete pAlias;
    return;
  }
  for (size_t i = 0; i < cbName; ++i)
    pAlias->pwszName[i] = static_cast<unsigned char>(tolower(pbName[i]));
  pAlias->pwszName[cbName] = 0;
  pAlias->cbName = static_cast<uint32_t>(2 * cbName + 2);
  pAlias->nCodePage = nCodePage;
  pAlias->pNext = ms_pHead;
  ms_pHead = pAlias;
}

void CCharsetAliasTable::Parse(const unsigned char* pb, size_t cb) {
  size_t pos = 0;
  while (pos < cb) {
    if (pb[pos] == '#') {  // comment line
      pos = EndOfLine(pb, cb, pos) + 1;
      continue;
    }
    while (pos < cb && isspace(pb[pos])) ++pos;
    if (pos >= cb) break;
    if (pb[pos] == '#') continue;

    size_t posEol = EndOfLine(pb, cb, pos);
    if (!isdigit(pb[pos]) || posEol == cb) {
      // Not an entry, or an entry without its line feed: passed over.
      pos = posEol + 1;
      continue;
    }
    int64_t nCodePage = 0;
    while (pos < cb && isdigit(pb[pos])) {
      // Saturate: no code page is this large, and the sum must not overflow.
      if (nCodePage < 0x7FFFFFFFFFFFLL) nCodePage = nCodePage * 10 + (pb[pos] - '0');
      ++pos;
    }
    if (nCodePage == 0) {  // number 0: nothing to add
      pos = posEol + 1;
      continue;
    }
    // Names up to the line feed or a "#".
    for (;;) {
      while (pos < posEol && pb[pos] != '"' && pb[pos] != '#') ++pos;
      if (pos >= posEol) {
        pos = posEol + 1;
        break;
      }
      if (pb[pos] == '#') break;  // the comment is passed over as a line
      size_t posName = ++pos;
      while (pos < posEol && pb[pos] != '"' && pb[pos] != '#') ++pos;
      if (pos >= posEol) {  // no closing quotation mark on the line
        pos = posEol + 1;
        break;
      }
      if (pb[pos] == '#') break;
      Add(nCodePage, pb + posName, pos - posName);
      ++pos;
    }
  }
}

int CCharsetAliasTable::Lookup(const unsigned short* pwszName, int cwMax) {
  if (ms_pHead == nullptr || pwszName == nullptr || pwszName[0] == 0 || cwMax > 127 || cwMax < 1)
    return -1;
  WCHAR wszName[128];
  int cw = 0;
  while (cw < 127 && cw < cwMax && pwszName[cw] != 0) {
    wszName[cw] = static_cast<WCHAR>(pwszName[cw]);
    ++cw;
  }
  wszName[cw] = 0;
  // Names of another length cannot be equal; the size check spares most
  // comparisons.
  const uint32_t cbName = static_cast<uint32_t>(2 * cw + 2);
  for (const CharsetAlias* p = ms_pHead; p != nullptr; p = p->pNext) {
    if (p->cbName != cbName) continue;
    if (EqualIgnoringCase(reinterpret_cast<const WCHAR*>(p->pwszName), wszName))
      return static_cast<int>(p->nCodePage);
  }
  return -1;
}

void CCharsetAliasTable::Free() {
  while (ms_pHead != nullptr) {
    CharsetAlias* p = ms_pHead;
    ms_pHead = p->pNext;
    delete[] p->pwszName;
    delete p;
  }
}
