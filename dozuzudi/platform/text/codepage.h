// Code-page conversions (MultiByteToWideChar, WideCharToMultiByte).
//
// A code page number selects an ICU converter: 65001 UTF-8, 20127 US-ASCII,
// 28591-28606 ISO-8859-x, 1250-1258 windows-125x, 20866 KOI8-R, 21866 KOI8-U,
// 932 Shift_JIS, 20932/51932 EUC-JP, 50220-50222 ISO-2022-JP, 936 GBK,
// 54936 GB18030, 950 Big5, 949/51949 EUC-KR, 1200 UTF-16LE, 1201 UTF-16BE,
// 437/850 and the other IBM code pages ICU has as "ibm-N".
// Conversions are strict: invalid or unmappable input, a code page without a
// converter, or too small an output buffer return 0 (GetLastError gives
// ERROR_NO_UNICODE_TRANSLATION, ERROR_INVALID_PARAMETER or
// ERROR_INSUFFICIENT_BUFFER). Flags are ignored; a capacity of 0 asks for the
// size needed. Converters are cached per thread, so no call allocates after
// the first for its code page on that thread.
#pragma once

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

#define CP_ACP 0
#define CP_UTF8 65001

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar);
VLT_API_END
