// platform/text: text as the Windows runtime handles it: the UTF-16 string
// functions of the C runtime (this header), the code-page conversions
// MultiByteToWideChar/WideCharToMultiByte (codepage.h), the project's one
// UTF-16/UTF-8 codec (platform::ToUtf8 and FromUtf8 below), and passwords
// held as UTF-8 that are wiped when dropped (secret_text.h).
//
// Backed by: our own code for the string functions and the UTF codec; ICU
// converters (ucnv) for code pages.
// Threads: every function may be called from any thread; code-page
// converters are cached per thread.
// Failures: the string functions cannot fail (null arguments are the
// caller's fault, as in the C runtime); conversions of code pages return 0
// with GetLastError set (codepage.h); the UTF codec never fails: invalid
// input becomes U+FFFD.
// Our choices: case folding covers ASCII and Latin-1 only, like the "C"
// locale of the Windows runtime; code-page conversions are strict (invalid
// input fails instead of being replaced); the code page numbers codepage.h
// lists.
//
// The string helpers below have the semantics of their C runtime namesakes.
//
// Case-insensitive comparisons fold ASCII letters and the Latin-1 letters
// (as the "C" locale of the Windows runtime does for _wcsicmp); other code
// units compare by value. towlower/towupper fold the same letters (U+00D7 and
// U+00F7 are not letters; U+00FF has no Latin-1 capital and stays), and
// _wcsicmp/_wcsnicmp compare the lower-cased units, so "_" sorts before "A".
// Comparisons return the difference of the first differing units.
// wcschr/wcsrchr find the terminator when asked for 0.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

size_t wcslen(const WCHAR* s);
int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n);
int _wcsicmp(const WCHAR* a, const WCHAR* b);
int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n);
WCHAR* wcscpy(WCHAR* dst, const WCHAR* src);
WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n);
WCHAR* wcscat(WCHAR* dst, const WCHAR* src);
const WCHAR* wcschr(const WCHAR* s, WCHAR c);
const WCHAR* wcsrchr(const WCHAR* s, WCHAR c);
const WCHAR* wcsstr(const WCHAR* haystack, const WCHAR* needle);
WCHAR towlower(WCHAR c);
WCHAR towupper(WCHAR c);
// White space as iswspace in the "C" locale: 9 to 13 and 32, plus the Unicode
// spaces 0x85, 0xA0, 0x1680, 0x2000-0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000.
int iswspace(WCHAR c);
// Leading white space, an optional sign, then decimal digits; 0 when none.
// Overflow wraps as a 32-bit long does.
LONG _wtol(const WCHAR* s);

namespace platform {
// The one UTF-16 to UTF-8 conversion of the project (paths, names,
// messages, passwords). An unpaired surrogate becomes U+FFFD. The result is
// allocated once at its exact size, so no reallocation leaves a copy of a
// password behind; callers wipe what held a secret.
std::string ToUtf8(std::u16string_view s);
// The same for terminated text; null gives "".
std::string ToUtf8(const WCHAR* pwsz);
// The bytes ToUtf8 gives for |s|, and the writing of those bytes (no
// terminator) into |pb|, which holds at least Utf8Size(s).
size_t Utf8Size(std::u16string_view s);
void WriteUtf8(std::u16string_view s, char* pb);
// UTF-8 to UTF-16; each invalid sequence becomes U+FFFD (DecodeUtf8).
std::u16string FromUtf8(std::string_view s);
// Appends |s| decoded to |out|; each invalid sequence (the maximal prefix of a
// well-formed one, or a single stray byte) becomes U+FFFD. Returns how many
// invalid sequences there were.
size_t DecodeUtf8(std::string_view s, std::u16string* out);
}  // namespace platform
VLT_API_END
