// The text fields of request messages: terminated copies on the process
// heap; a secret field is wiped before it is freed.
#pragma once

#include "platform/base/wintypes.h"

WCHAR* CopyMessageField(const unsigned short* pwText, DWORD cwText);
void FreeMessageField(WCHAR* pwsz, bool fSecret);
// Replaces a field; an allocation failure leaves an empty string, so that no
// field is ever null.
void ReplaceMessageField(WCHAR** ppwszField, const unsigned short* pwText, DWORD cwText, bool fSecret);
