// Bulk conversions of bytes to UTF-16 code units, written with the
// compiler's portable vector types so that they run 16 bytes at a time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace xmlwiden {

typedef unsigned char VBytes16 __attribute__((vector_size(16)));
typedef unsigned short VUnits16 __attribute__((vector_size(32)));
typedef unsigned short VUnits8 __attribute__((vector_size(16)));
typedef char VChars16 __attribute__((vector_size(16)));

#if defined(__x86_64__)
typedef unsigned char VBytes32 __attribute__((vector_size(32)));
typedef char VChars32 __attribute__((vector_size(32)));

// WidenAscii's bulk, 32 bytes at a time, for processors with AVX2; returns
// the bytes done (all of them but a tail shorter than 32 or from the first
// block with a byte of 0x80 or more on).
__attribute__((target("avx2"))) inline size_t WidenAsciiBulkAvx2(const unsigned char* pb, size_t cb,
                                                                 unsigned short* pw) {
  size_t i = 0;
  for (; i + 32 <= cb; i += 32) {
    VBytes32 vb;
    memcpy(&vb, pb + i, 32);
    if (__builtin_ia32_pmovmskb256(reinterpret_cast<VChars32>(vb)) != 0) break;
    // Each half widens into one 32-byte register (a 64-byte vector type
    // would be split through the stack).
    VChars16 vbLow, vbHigh;
    memcpy(&vbLow, pb + i, 16);
    memcpy(&vbHigh, pb + i + 16, 16);
#if defined(__clang__)
    const VUnits16 vwLow = __builtin_convertvector(reinterpret_cast<VBytes16>(vbLow), VUnits16);
    const VUnits16 vwHigh = __builtin_convertvector(reinterpret_cast<VBytes16>(vbHigh), VUnits16);
#else
    // GCC splits the conversion into halves of halves; this is the one
    // instruction (vpmovzxbw) that clang makes of it.
    const VUnits16 vwLow = reinterpret_cast<VUnits16>(__builtin_ia32_pmovzxbw256(vbLow));
    const VUnits16 vwHigh = reinterpret_cast<VUnits16>(__builtin_ia32_pmovzxbw256(vbHigh));
#endif
    memcpy(pw + i, &vwLow, 32);
    memcpy(pw + i + 16, &vwHigh, 32);
  }
  return i;
}

inline bool HasAvx2() {
  static const bool s_fAvx2 = __builtin_cpu_supports("avx2");
  return s_fAvx2;
}
#endif

// Widens cb bytes into code units of the same values while every byte is
// below 0x80. False at the first byte of 0x80 or more; pw then holds an
// unspecified prefix.
inline bool WidenAscii(const unsigned char* pb, size_t cb, unsigned short* pw) {
  size_t i = 0;
#if defined(__x86_64__)
  if (cb >= 64 && HasAvx2()) i = WidenAsciiBulkAvx2(pb, cb, pw);
#endif
  for (; i + 16 <= cb; i += 16) {
    VBytes16 vb;
    memcpy(&vb, pb + i, 16);
#if defined(__SSE2__)
    // The high bit of each byte.
    if (__builtin_ia32_pmovmskb128(reinterpret_cast<VChars16>(vb)) != 0) return false;
#else
    uint64_t rgn[2];
    memcpy(rgn, pb + i, 16);
    if ((rgn[0] | rgn[1]) & 0x8080808080808080ull) return false;
#endif
    VUnits16 vw = __builtin_convertvector(vb, VUnits16);
    memcpy(pw + i, &vw, 32);
  }
  for (; i < cb; ++i) {
    if (pb[i] & 0x80) return false;
    pw[i] = pb[i];
  }
  return true;
}

// Reads cw UTF-16 code units from byte pairs, least significant byte first
// when fLittleEndian, else most significant first.
inline void ReadUtf16(const unsigned char* pb, size_t cw, unsigned short* pw, bool fLittleEndian) {
  if (fLittleEndian == (std::endian::native == std::endian::little)) {
    memcpy(pw, pb, 2 * cw);
    return;
  }
  size_t i = 0;
  for (; i + 8 <= cw; i += 8) {
    VUnits8 v;
    memcpy(&v, pb + 2 * i, 16);
    v = (v << 8) | (v >> 8);
    memcpy(pw + i, &v, 16);
  }
  for (; i < cw; ++i) {
    unsigned short w;
    memcpy(&w, pb + 2 * i, 2);
    pw[i] = static_cast<unsigned short>((w << 8) | (w >> 8));
  }
}

}  // namespace xmlwiden
