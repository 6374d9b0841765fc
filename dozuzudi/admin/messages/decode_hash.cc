#include "admin/messages/change_password_request.h"
#include "platform/base/heap.h"

namespace {

// Base64 digit values of the units 0 to 127; 255 for the others.
struct CHashDigits {
  BYTE m_rgValue[128];
  constexpr CHashDigits() : m_rgValue() {
    for (int i = 0; i < 128; ++i) m_rgValue[i] = 255;
    for (int i = 0; i < 26; ++i) {
      m_rgValue['A' + i] = static_cast<BYTE>(i);
      m_rgValue['a' + i] = static_cast<BYTE>(26 + i);
    }
    for (int i = 0; i < 10; ++i) m_rgValue['0' + i] = static_cast<BYTE>(52 + i);
    m_rgValue[static_cast<int>('+')] = 62;
    m_rgValue[static_cast<int>('/')] = 63;
  }
};

constexpr CHashDigits kHashDigits;

// Units of 128 and above lie outside the table and count as 255 too.
DWORD DigitOf(unsigned short w) { return w < 128 ? kHashDigits.m_rgValue[w] : 255; }

}  // namespace

BYTE* DecodeHash(const unsigned short* pwText, DWORD cwText) {
  DWORD cbOut = static_cast<DWORD>(3u * cwText) / 4u;
  auto* pbOut = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cbOut + 1));
  if (pbOut == nullptr) return nullptr;
  BYTE* pb = pbOut;
  BYTE* pbEnd = pbOut + cbOut;
  DWORD i = 0;
  for (; i + 4 <= cwText && pb + 3 <= pbEnd; i += 4) {
    DWORD a = DigitOf(pwText[i]), b = DigitOf(pwText[i + 1]);
    DWORD c = DigitOf(pwText[i + 2]), d = DigitOf(pwText[i + 3]);
    *pb++ = static_cast<BYTE>(a | b << 6);
    *pb++ = static_cast<BYTE>((b >> 2 & 15) | (c & 15) << 4);
    *pb++ = static_cast<BYTE>((c >> 4 & 3) | d << 2);
  }
  DWORD cwLeft = cwText - i;
  if (cwLeft >= 2 && pb < pbEnd) {
    DWORD a = DigitOf(pwText[i]), b = DigitOf(pwText[i + 1]);
    *pb++ = static_cast<BYTE>(a | b << 6);
    if (cwLeft == 3 && pb < pbEnd) {
      DWORD c = DigitOf(pwText[i + 2]);
      *pb++ = static_cast<BYTE>((b >> 2 & 15) | (c & 15) << 4);
    }
  }
  return pbOut;
}
