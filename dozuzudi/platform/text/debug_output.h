// OutputDebugStringW: the text an extension has for the people who run the
// service, such as why it refuses to start. On this platform it goes to
// standard error, prefixed "vltadmin: " and ended by a line feed, in one
// write, as UTF-8 (unpaired surrogates become U+FFFD).
//
// REQUIRES: never a password or other secret in the text.
// Thread safe.
#pragma once

#include "platform/base/api.h"
#include "platform/base/wintypes.h"

VLT_API_BEGIN
void OutputDebugStringW(LPCWSTR lpOutputString);
VLT_API_END
