// Searches over UTF-16 text, eight code units at a time with the compiler's
// portable vector types.
#pragma once

#include <cstdint>
#include <cstring>

namespace xmlscan {

typedef unsigned short VUnits8 __attribute__((vector_size(16)));

typedef char VChars16 __attribute__((vector_size(16)));

// Whether any lane of a comparison result is set, and the first that is.
inline bool AnySet(VUnits8 vMatch, int* piFirst) {
#if defined(__SSE2__)
  // One bit per byte: two per lane.
  const int nMask = __builtin_ia32_pmovmskb128(reinterpret_cast<VChars16>(vMatch));
  if (nMask == 0) return false;
  *piFirst = __builtin_ctz(static_cast<unsigned>(nMask)) / 2;
  return true;
#else
  uint64_t rgn[2];
  memcpy(rgn, &vMatch, 16);
  if (rgn[0] != 0) {
    *piFirst = __builtin_ctzll(rgn[0]) / 16;
    return true;
  }
  if (rgn[1] != 0) {
    *piFirst = 4 + __builtin_ctzll(rgn[1]) / 16;
    return true;
  }
  return false;
#endif
}

// The first position in [p, pEnd) holding a or b, or pEnd.
inline unsigned short* FindEither(unsigned short* p, const unsigned short* pEnd, unsigned short a,
                                  unsigned short b) {
  while (pEnd - p >= 8) {
    VUnits8 v;
    memcpy(&v, p, 16);
    VUnits8 vMatch = reinterpret_cast<VUnits8>((v == a) | (v == b));
    int iFirst;
    if (AnySet(vMatch, &iFirst)) return p + iFirst;
    p += 8;
  }
  while (p < pEnd && *p != a && *p != b) ++p;
  return const_cast<unsigned short*>(p);
}

// The first position in [p, pEnd) holding a, b or c, or pEnd.
inline unsigned short* FindAny(unsigned short* p, const unsigned short* pEnd, unsigned short a,
                               unsigned short b, unsigned short c) {
  while (pEnd - p >= 8) {
    VUnits8 v;
    memcpy(&v, p, 16);
    VUnits8 vMatch = reinterpret_cast<VUnits8>((v == a) | (v == b) | (v == c));
    int iFirst;
    if (AnySet(vMatch, &iFirst)) return p + iFirst;
    p += 8;
  }
  while (p < pEnd && *p != a && *p != b && *p != c) ++p;
  return const_cast<unsigned short*>(p);
}

// The first position in [p, pEnd) that is not tab, line feed, carriage
// return or space, or pEnd.
inline unsigned short* SkipSpaces(unsigned short* p, const unsigned short* pEnd) {
  const unsigned short wSpace = 0x20, wTab = 0x09, wLineFeed = 0x0A, wReturn = 0x0D;
  if (p < pEnd && *p > wSpace) return p;  // most often nothing to skip
  while (pEnd - p >= 8) {
    VUnits8 v;
    memcpy(&v, p, 16);
    VUnits8 vOther = reinterpret_cast<VUnits8>((v != wSpace) & (v != wTab) & (v != wLineFeed) &
                                               (v != wReturn));
    int iFirst;
    if (AnySet(vOther, &iFirst)) return p + iFirst;
    p += 8;
  }
  while (p < pEnd && (*p == wSpace || *p == wTab || *p == wLineFeed || *p == wReturn)) ++p;
  return const_cast<unsigned short*>(p);
}

// Copies [p, pEnd) down to pwOut (pwOut <= p, the ranges may overlap) and
// returns the end of the copy. Each block of eight is loaded before it is
// stored, and a store never reaches past the block just loaded, so the copy
// runs forward without a library call for the short runs of decoded text.
inline unsigned short* MoveDown(unsigned short* pwOut, const unsigned short* p,
                                const unsigned short* pEnd) {
  while (pEnd - p >= 8) {
    VUnits8 v;
    memcpy(&v, p, 16);
    memcpy(pwOut, &v, 16);
    p += 8;
    pwOut += 8;
  }
  while (p < pEnd) *pwOut++ = *p++;
  return pwOut;
}

// Whether the cw code units at pA and pB are equal.
inline bool EqualUnits(const unsigned short* pA, const unsigned short* pB, long cw) {
  for (; cw >= 8; cw -= 8, pA += 8, pB += 8) {
    VUnits8 vA, vB;
    memcpy(&vA, pA, 16);
    memcpy(&vB, pB, 16);
    int iFirst;
    if (AnySet(reinterpret_cast<VUnits8>(vA != vB), &iFirst)) return false;
  }
  // Names are mostly shorter than eight units: four, two, then one at a time.
  if (cw >= 4) {
    uint64_t nA, nB;
    memcpy(&nA, pA, 8);
    memcpy(&nB, pB, 8);
    if (nA != nB) return false;
    cw -= 4, pA += 4, pB += 4;
  }
  if (cw >= 2) {
    uint32_t nA, nB;
    memcpy(&nA, pA, 4);
    memcpy(&nB, pB, 4);
    if (nA != nB) return false;
    cw -= 2, pA += 2, pB += 2;
  }
  return cw == 0 || *pA == *pB;
}

}  // namespace xmlscan
