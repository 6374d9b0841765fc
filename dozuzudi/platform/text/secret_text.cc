#include "platform/text/secret_text.h"

namespace platform {
namespace {

// Decodes one code point at |pw| (before |pwEnd|) and advances it.
char32_t NextCodePoint(const WCHAR*& pw, const WCHAR* pwEnd) {
  char32_t c = *pw++;
  if (c >= 0xD800 && c <= 0xDBFF && pw != pwEnd && *pw >= 0xDC00 && *pw <= 0xDFFF) {
    c = 0x10000 + ((c - 0xD800) << 10) + (*pw++ - 0xDC00);
  } else if (c >= 0xD800 && c <= 0xDFFF) {
    c = 0xFFFD;
  }
  return c;
}

size_t Utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

}  // namespace

CSecretUtf8::CSecretUtf8(const WCHAR* pw) {
  size_t cw = 0;
  while (pw != nullptr && pw[cw] != 0) ++cw;
  Convert(pw, cw);
}

CSecretUtf8::CSecretUtf8(const WCHAR* pw, size_t cw) { Convert(pw, cw); }

void CSecretUtf8::Convert(const WCHAR* pw, size_t cw) {
  if (pw == nullptr) return;
  const WCHAR* const pwEnd = pw + cw;
  size_t cb = 0;
  for (const WCHAR* p = pw; p != pwEnd;) cb += Utf8Length(NextCodePoint(p, pwEnd));
  m_pb.reset(new char[cb + 1]);
  m_cb = cb;
  unsigned char* pb = reinterpret_cast<unsigned char*>(m_pb.get());
  for (const WCHAR* p = pw; p != pwEnd;) {
    char32_t c = NextCodePoint(p, pwEnd);
    if (c < 0x80) {
      *pb++ = static_cast<unsigned char>(c);
    } else if (c < 0x800) {
      *pb++ = static_cast<unsigned char>(0xC0 | (c >> 6));
      *pb++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *pb++ = static_cast<unsigned char>(0xE0 | (c >> 12));
      *pb++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      *pb++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
      *pb++ = static_cast<unsigned char>(0xF0 | (c >> 18));
      *pb++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      *pb++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      *pb++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    c = 0;
  }
  *pb = 0;
}

}  // namespace platform
