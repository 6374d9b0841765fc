// UTF-16 string helpers and UTF-8 conversions.
#include "platform/text/wstr.h"


size_t wcslen(const WCHAR* s) {
  const WCHAR* p = s;
  while (*p != 0) ++p;
  return static_cast<size_t>(p - s);
}

int wcscmp(const WCHAR* a, const WCHAR* b) {
  while (*a != 0 && *a == *b) ++a, ++b;
  return static_cast<int>(*a) - static_cast<int>(*b);
}

int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n) {
  for (; n != 0; --n, ++a, ++b) {
    if (*a != *b) return static_cast<int>(*a) - static_cast<int>(*b);
    if (*a == 0) break;
  }
  return 0;
}

// Latin-1 letters fold with ASCII ones: 0xC0-0xDE (but not 0xD7, the
// multiplication sign) pair with 0xE0-0xFE (but not 0xF7, the division sign).
WCHAR towlower(WCHAR c) {
  if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
    return static_cast<WCHAR>(c + 0x20);
  return c;
}

WCHAR towupper(WCHAR c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
    return static_cast<WCHAR>(c - 0x20);
  return c;
}

// Both compare lower-cased code units, so "_" (0x5F) sorts before letters.
int _wcsicmp(const WCHAR* a, const WCHAR* b) {
  for (;; ++a, ++b) {
    int ca = towlower(*a);
    int cb = towlower(*b);
    if (ca != cb || ca == 0) return ca - cb;
  }
}

int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n) {
  for (; n != 0; --n, ++a, ++b) {
    int ca = towlower(*a);
    int cb = towlower(*b);
    if (ca != cb || ca == 0) return ca - cb;
  }
  return 0;
}

WCHAR* wcscpy(WCHAR* dst, const WCHAR* src) {
  WCHAR* p = dst;
  while ((*p++ = *src++) != 0) {
  }
  return dst;
}

WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n) {
  size_t i = 0;
  for (; i < n && src[i] != 0; ++i) dst[i] = src[i];
  for (; i < n; ++i) dst[i] = 0;
  return dst;
}

WCHAR* wcscat(WCHAR* dst, const WCHAR* src) {
  wcscpy(dst + wcslen(dst), src);
  return dst;
}

// As in C, the terminator itself can be searched for.
const WCHAR* wcschr(const WCHAR* s, WCHAR c) {
  for (;; ++s) {
    if (*s == c) return s;
    if (*s == 0) return nullptr;
  }
}

const WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
  const WCHAR* found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (*s == 0) return found;
  }
}

const WCHAR* wcsstr(const WCHAR* haystack, const WCHAR* needle) {
  if (*needle == 0) return haystack;
  for (; *haystack != 0; ++haystack) {
    const WCHAR* h = haystack;
    const WCHAR* n = needle;
    while (*n != 0 && *h == *n) ++h, ++n;
    if (*n == 0) return haystack;
  }
  return nullptr;
}

int iswspace(WCHAR c) {
  if ((c >= 9 && c <= 13) || c == 32) return 1;
  if (c < 0x85) return 0;
  return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
                 c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000
             ? 1
             : 0;
}

LONG _wtol(const WCHAR* s) {
  while (iswspace(*s)) ++s;
  bool fNegative = false;
  if (*s == u'-' || *s == u'+') fNegative = *s++ == u'-';
  uint32_t n = 0;  // unsigned, so that overflow wraps without undefined behaviour
  for (; *s >= u'0' && *s <= u'9'; ++s) n = n * 10u + static_cast<uint32_t>(*s - u'0');
  if (fNegative) n = 0u - n;
  return static_cast<LONG>(n);
}

namespace platform {

namespace {

// The code point starting at s[*pi], moving *pi past it; an unpaired
// surrogate gives U+FFFD.
char32_t NextCodePoint(std::u16string_view s, size_t* pi) {
  char32_t c = s[(*pi)++];
  if (c >= 0xD800 && c <= 0xDBFF && *pi < s.size() && s[*pi] >= 0xDC00 && s[*pi] <= 0xDFFF)
    return 0x10000 + ((c - 0xD800) << 10) + (s[(*pi)++] - 0xDC00);
  if (c >= 0xD800 && c <= 0xDFFF) return 0xFFFD;
  return c;
}

size_t Utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

}  // namespace

size_t Utf8Size(std::u16string_view s) {
  size_t cb = 0;
  for (size_t i = 0; i < s.size();) cb += Utf8Length(NextCodePoint(s, &i));
  return cb;
}

void WriteUtf8(std::u16string_view s, char* pb) {
  for (size_t i = 0; i < s.size();) {
    char32_t c = NextCodePoint(s, &i);
    if (c < 0x80) {
      *pb++ = static_cast<char>(c);
    } else if (c < 0x800) {
      *pb++ = static_cast<char>(0xC0 | (c >> 6));
      *pb++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *pb++ = static_cast<char>(0xE0 | (c >> 12));
      *pb++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *pb++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *pb++ = static_cast<char>(0xF0 | (c >> 18));
      *pb++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *pb++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *pb++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

std::string ToUtf8(std::u16string_view s) {
  std::string out(Utf8Size(s), '\0');
  WriteUtf8(s, out.data());
  return out;
}

std::string ToUtf8(const WCHAR* pwsz) {
  return pwsz == nullptr ? std::string() : ToUtf8(std::u16string_view(pwsz));
}

std::u16string FromUtf8(std::string_view s) {
  std::u16string out;
  DecodeUtf8(s, &out);
  return out;
}

size_t DecodeUtf8(std::string_view s, std::u16string* out) {
  size_t cInvalid = 0;
  out->reserve(out->size() + s.size());
  const auto* pb = reinterpret_cast<const unsigned char*>(s.data());
  size_t cb = s.size();
  size_t i = 0;
  while (i < cb) {
    unsigned char b = pb[i];
    if (b < 0x80) {
      out->push_back(b);
      ++i;
      continue;
    }
    // Expected length and the range allowed for the second byte, which rules
    // out overlong forms, surrogates and values above U+10FFFF.
    size_t cbSeq = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t c = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      cbSeq = 2, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      cbSeq = 3, c = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      cbSeq = 4, c = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    }
    size_t j = i + 1;
    bool fValid = cbSeq != 0;
    for (size_t k = 1; fValid && k < cbSeq; ++k, ++j) {
      unsigned char lower = k == 1 ? lo : 0x80, upper = k == 1 ? hi : 0xBF;
      if (j >= cb || pb[j] < lower || pb[j] > upper) {
        fValid = false;
        break;
      }
      c = (c << 6) | (pb[j] & 0x3F);
    }
    if (!fValid) {
      // One replacement for the maximal valid prefix of the sequence.
      out->push_back(0xFFFD);
      ++cInvalid;
      i = j;
      continue;
    }
    if (c >= 0x10000) {
      out->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(c));
    }
    i = j;
  }
  return cInvalid;
}

}  // namespace platform
