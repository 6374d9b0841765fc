// MultiByteToWideChar and WideCharToMultiByte over ICU converters.
//
// A code page number names an ICU converter (CodePageConverterName). Every
// converter stops at the first invalid or unmappable sequence, so a
// conversion either succeeds completely or returns 0. UTF-8 goes through
// ICU's UTF-8 string functions, which are strict as well and need no
// converter object.
#include "platform/text/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>

#include <cstdio>
#include <cstring>

namespace {

static_assert(sizeof(UChar) == sizeof(WCHAR), "ICU code units are UTF-16");

// Code pages whose converters have names of their own.
struct CNamedCodePage {
  UINT uCodePage;
  const char* pszName;
};
// clang-format off
const CNamedCodePage kNamedCodePages[] = {
    {20127, "US-ASCII"},
    {20866, "KOI8-R"},
    {21866, "KOI8-U"},
    {932, "ibm-943_P15A-2003"},   // Shift_JIS as Windows has it (windows-31j)
    {20932, "EUC-JP"},
    {51932, "EUC-JP"},
    {50220, "ISO-2022-JP"},
    {50221, "ISO-2022-JP"},
    {50222, "ISO-2022-JP"},
    {936, "windows-936-2000"},    // GBK
    {20936, "GB2312"},
    {54936, "GB18030"},
    {950, "windows-950-2000"},    // Big5
    {949, "windows-949-2000"},    // Unified Hangul Code, a superset of EUC-KR
    {51949, "EUC-KR"},
    {1200, "UTF-16LE"},
    {1201, "UTF-16BE"},
    {12000, "UTF-32LE"},
    {12001, "UTF-32BE"},
    {65001, "UTF-8"},
};
// clang-format on

// The ICU converter name for a code page number, written into szName.
// False when the number names no converter we know of.
bool CodePageConverterName(UINT uCodePage, char* szName, size_t cbName) {
  const char* pszFixed = nullptr;
  for (const CNamedCodePage& named : kNamedCodePages)
    if (named.uCodePage == uCodePage) pszFixed = named.pszName;
  if (pszFixed != nullptr) {
    snprintf(szName, cbName, "%s", pszFixed);
  } else if (uCodePage >= 28591 && uCodePage <= 28606) {
    snprintf(szName, cbName, "ISO-8859-%u", uCodePage - 28590);
  } else if (uCodePage == 874 || (uCodePage >= 1250 && uCodePage <= 1258)) {
    snprintf(szName, cbName, "windows-%u", uCodePage);
  } else if (uCodePage >= 37 && uCodePage <= 1399) {
    snprintf(szName, cbName, "ibm-%u", uCodePage);
  } else {
    return false;
  }
  return true;
}

// A small per-thread cache of open converters, most recently used first.
class CConverterCache {
 public:
  ~CConverterCache() {
    for (CSlot& slot : m_rgSlots)
      if (slot.pConverter != nullptr) ucnv_close(slot.pConverter);
  }

  // The converter for a code page, strict in both directions; null with
  // GetLastError set when there is none.
  UConverter* Get(UINT uCodePage) {
    for (int i = 0; i < kSlots; ++i) {
      if (m_rgSlots[i].pConverter != nullptr && m_rgSlots[i].uCodePage == uCodePage) {
        MoveToFront(i);
        return m_rgSlots[0].pConverter;
      }
    }
    char szName[32];
    if (!CodePageConverterName(uCodePage, szName, sizeof(szName))) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    UErrorCode status = U_ZERO_ERROR;
    UConverter* pConverter = ucnv_open(szName, &status);
    if (U_FAILURE(status) || pConverter == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    ucnv_setToUCallBack(pConverter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFromUCallBack(pConverter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &status);
    if (U_FAILURE(status)) {
      ucnv_close(pConverter);
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    CSlot& last = m_rgSlots[kSlots - 1];
    if (last.pConverter != nullptr) ucnv_close(last.pConverter);
    last.pConverter = pConverter;
    last.uCodePage = uCodePage;
    MoveToFront(kSlots - 1);
    return pConverter;
  }

 private:
  struct CSlot {
    UINT uCodePage = 0;
    UConverter* pConverter = nullptr;
  };
  static constexpr int kSlots = 8;

  void MoveToFront(int i) {
    CSlot slot = m_rgSlots[i];
    for (; i > 0; --i) m_rgSlots[i] = m_rgSlots[i - 1];
    m_rgSlots[0] = slot;
  }

  CSlot m_rgSlots[kSlots];
};

thread_local CConverterCache t_converters;

// Maps an ICU failure to the Windows error and returns 0.
int Fail(UErrorCode status) {
  SetLastError(status == U_BUFFER_OVERFLOW_ERROR ? ERROR_INSUFFICIENT_BUFFER
                                                 : ERROR_NO_UNICODE_TRANSLATION);
  return 0;
}

// Result of a conversion whose ICU status and full length are known: the
// length, or 0 when it failed or did not fit. A capacity of 0 asks for the
// length, which ICU reports as an overflow.
int Finish(UErrorCode status, int32_t cNeeded, int cCapacity) {
  if (cCapacity == 0 && status == U_BUFFER_OVERFLOW_ERROR) {
    SetLastError(ERROR_SUCCESS);
    return cNeeded;
  }
  if (U_FAILURE(status)) return Fail(status);
  if (cNeeded > cCapacity && cCapacity != 0) return Fail(U_BUFFER_OVERFLOW_ERROR);
  return cNeeded;
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && lpWideCharStr == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // -1: a NUL-terminated string, the terminator included in the conversion.
  if (cbMultiByte == -1) cbMultiByte = static_cast<int>(strlen(lpMultiByteStr)) + 1;
  UChar* pwDest = cchWideChar == 0 ? nullptr : reinterpret_cast<UChar*>(lpWideCharStr);
  UErrorCode status = U_ZERO_ERROR;
  int32_t cwNeeded = 0;
  if (CodePage == CP_UTF8) {
    u_strFromUTF8(pwDest, cchWideChar, &cwNeeded, lpMultiByteStr, cbMultiByte, &status);
  } else {
    UConverter* pConverter = t_converters.Get(CodePage);
    if (pConverter == nullptr) return 0;
    cwNeeded = ucnv_toUChars(pConverter, pwDest, cchWideChar, lpMultiByteStr, cbMultiByte, &status);
  }
  return Finish(status, cwNeeded, cchWideChar);
}

int WideCharToMultiByte(UINT CodePage, DWORD, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR, LPBOOL lpUsedDefaultChar) {
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = FALSE;
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && lpMultiByteStr == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const UChar* pwSource = reinterpret_cast<const UChar*>(lpWideCharStr);
  if (cchWideChar == -1) cchWideChar = u_strlen(pwSource) + 1;
  char* pbDest = cbMultiByte == 0 ? nullptr : lpMultiByteStr;
  UErrorCode status = U_ZERO_ERROR;
  int32_t cbNeeded = 0;
  if (CodePage == CP_UTF8) {
    u_strToUTF8(pbDest, cbMultiByte, &cbNeeded, pwSource, cchWideChar, &status);
  } else {
    UConverter* pConverter = t_converters.Get(CodePage);
    if (pConverter == nullptr) return 0;
    cbNeeded = ucnv_fromUChars(pConverter, pbDest, cbMultiByte, pwSource, cchWideChar, &status);
  }
  return Finish(status, cbNeeded, cbMultiByte);
}
