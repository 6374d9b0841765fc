// Terminated UTF-16 strings on the process heap for the group resolution:
// null when memory runs out; FreeText takes null.
#pragma once

#include "platform/base/wintypes.h"

// The concatenation of up to three terminated strings (null ones count as
// empty).
WCHAR* JoinText(const WCHAR* pwszA, const WCHAR* pwszB = nullptr, const WCHAR* pwszC = nullptr);
// cw units of pw, terminated.
WCHAR* CopyUnitsOf(const WCHAR* pw, DWORD cw);
void FreeText(WCHAR* pwsz);
DWORD TextLength(const WCHAR* pwsz);
