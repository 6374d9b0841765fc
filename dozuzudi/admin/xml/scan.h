// Searches over UTF-16 text, eight code units at a time with the compiler's
// portable vector types.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace xmlscan {

typedef unsigned short VUnits8 __attribute__((vector_size(16)));

typedef char VChars16 __attribute__((vector_size(16)));

// Whether any lane of a comparison result is set; *ppFirst then receives
// the position in the block at p of the first lane that is. The position is
// the byte offset of the mask's lowest bit added to p, without a division:
// it lies on the search's chain of dependent instructions.
inline bool AnySet(VUnits8 vMatch, unsigned short* p, unsigned short** ppFirst) {
#if defined(__SSE2__)
  // One bit per byte: two per lane.
  const int nMask = __builtin_ia32_pmovmskb128(reinterpret_cast<VChars16>(vMatch));
  if (nMask == 0) return false;
  *ppFirst = reinterpret_cast<unsigned short*>(reinterpret_cast<char*>(p) +
                                               __builtin_ctz(static_cast<unsigned>(nMask)));
  return true;
#else
  uint64_t rgn[2];
  memcpy(rgn, &vMatch, 16);
  if (rgn[0] != 0) {
    *ppFirst = p + __builtin_ctzll(rgn[0]) / 16;
    return true;
  }
  if (rgn[1] != 0) {
    *ppFirst = p + 4 + __builtin_ctzll(rgn[1]) / 16;
    return true;
  }
  return false;
#endif
}

// The searches below read whole blocks of eight code units and so may read
// up to seven units past pEnd: the text must be followed by at least
// kcwPadding zero units (CXMLParser's buffer is). They take p <= pEnd.
constexpr int kcwPadding = 16;

// The first position in [p, pEnd) holding a or b (both non-zero), or pEnd
// when zeros follow pEnd; otherwise, when there is none, some position at
// or after pEnd.
inline unsigned short* FindEither(unsigned short* p, const unsigned short* pEnd, unsigned short a,
                                  unsigned short b) {
  for (;;) {
    VUnits8 v;
    memcpy(&v, p, 16);
    VUnits8 vMatch = reinterpret_cast<VUnits8>((v == a) | (v == b));
    unsigned short* pFirst;
    if (AnySet(vMatch, p, &pFirst)) return pFirst;
    p += 8;
    if (p >= pEnd) return const_cast<unsigned short*>(pEnd);
  }
}

// The first position in [p, pEnd) holding a, b or c (all non-zero), or pEnd;
// zeros must follow pEnd.
inline unsigned short* FindAny(unsigned short* p, const unsigned short* pEnd, unsigned short a,
                               unsigned short b, unsigned short c) {
  for (;;) {
    VUnits8 v;
    memcpy(&v, p, 16);
    VUnits8 vMatch = reinterpret_cast<VUnits8>((v == a) | (v == b) | (v == c));
    unsigned short* pFirst;
    if (AnySet(vMatch, p, &pFirst)) return pFirst;
    p += 8;
    if (p >= pEnd) return const_cast<unsigned short*>(pEnd);
  }
}

// The first position from p on that is not tab, line feed, carriage return
// or space: at the latest the zero that follows the text.
inline unsigned short* SkipSpaces(unsigned short* p) {
  const unsigned short wSpace = 0x20, wTab = 0x09, wLineFeed = 0x0A, wReturn = 0x0D;
  if (*p > wSpace) return p;  // most often nothing to skip
  for (;;) {
    VUnits8 v;
    memcpy(&v, p, 16);
    VUnits8 vOther =
        reinterpret_cast<VUnits8>((v != wSpace) & (v != wTab) & (v != wLineFeed) & (v != wReturn));
    unsigned short* pFirst;
    if (AnySet(vOther, p, &pFirst)) return pFirst;
    p += 8;
  }
}

// Attribute names and the white space between tags are short, and of much
// the same length from one element to the next. Their first units are tested
// one at a time: the processor predicts such a loop's branches and runs
// ahead, whereas a vector search puts a chain of dependent instructions
// (load, compare, mask, bit scan) before the next step can start. Longer
// runs go on eight units at a time. Element names, attribute values and data
// vary more in length: a unit loop's end is often mispredicted there, and
// the vector searches are faster.
constexpr int kcwShortRun = 16;

// The bits of a set of code units below 64.
constexpr uint64_t UnitSet(std::initializer_list<unsigned> units) {
  uint64_t nSet = 0;
  for (unsigned w : units) nSet |= 1ull << w;
  return nSet;
}

// FindEither for units a and b below 64 (and non-zero) over a short run,
// four units a step.
template <unsigned short a, unsigned short b>
__attribute__((always_inline)) inline unsigned short* FindEitherShort(unsigned short* p,
                                                                      const unsigned short* pEnd) {
  constexpr uint64_t kSet = UnitSet({0, a, b});
  auto stops = [&](const unsigned short* pw) {
    const unsigned w = *pw;
    return w < 64 && ((kSet >> w) & 1) != 0 && (w != 0 || pw >= pEnd);
  };
  for (int i = 0; i < kcwShortRun; i += 4, p += 4) {
    if (stops(p)) return p;
    if (stops(p + 1)) return p + 1;
    if (stops(p + 2)) return p + 2;
    if (stops(p + 3)) return p + 3;
  }
  return FindEither(p, pEnd, a, b);
}

// SkipSpaces over a short run, four units a step.
__attribute__((always_inline)) inline unsigned short* SkipSpacesShort(unsigned short* p) {
  constexpr uint64_t kSpaces = UnitSet({0x20, 0x09, 0x0A, 0x0D});
  auto isSpace = [](unsigned w) { return w <= 0x20 && ((kSpaces >> w) & 1) != 0; };
  for (int i = 0; i < kcwShortRun; i += 4, p += 4) {
    if (!isSpace(p[0])) return p;
    if (!isSpace(p[1])) return p + 1;
    if (!isSpace(p[2])) return p + 2;
    if (!isSpace(p[3])) return p + 3;
  }
  return SkipSpaces(p);
}

// Copies [p, pEnd) down to pwOut (pwOut <= p, the ranges may overlap) and
// returns the end of the copy. Each block of eight is loaded before it is
// stored, and a store never reaches past the block just loaded, so the copy
// runs forward without a library call for the short runs of decoded text.
// A run of eight or more ends with the last eight units, loaded before
// anything is stored and stored last, so that no unit is copied one by one.
inline unsigned short* MoveDown(unsigned short* pwOut, const unsigned short* p,
                                const unsigned short* pEnd) {
  const long cw = pEnd - p;
  if (cw < 8) {
    while (p < pEnd) *pwOut++ = *p++;
    return pwOut;
  }
  VUnits8 vLast;
  memcpy(&vLast, pEnd - 8, 16);
  unsigned short* const pwLast = pwOut + cw - 8;
  for (; pEnd - p >= 8; p += 8, pwOut += 8) {
    VUnits8 v;
    memcpy(&v, p, 16);
    memcpy(pwOut, &v, 16);
  }
  memcpy(pwLast, &vLast, 16);
  return pwLast + 8;
}

// Whether the cw code units at pA and pB are equal.
inline bool EqualUnits(const unsigned short* pA, const unsigned short* pB, long cw) {
  for (; cw >= 8; cw -= 8, pA += 8, pB += 8) {
    VUnits8 vA, vB;
    memcpy(&vA, pA, 16);
    memcpy(&vB, pB, 16);
    if (__builtin_memcmp(&vA, &vB, 16) != 0) return false;
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
