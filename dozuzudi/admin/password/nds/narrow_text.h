// Single-byte copies of UTF-16 strings for the NDS client library, which
// takes narrow strings.
#pragma once

#include "platform/base/wintypes.h"

// A copy in the "C" locale: units up to 0xFF become the byte of the same
// value. Null when a unit does not convert (or memory is short), so that no
// unterminated string is ever passed on.
char* NarrowCopy(LPCWSTR pwsz);
// Wipes whatever the copy held (names and passwords share this path), then
// frees it.
void FreeNarrow(char* psz);
