// The extension's one setting, read from the registry at load and start.
#pragma once

#include "platform/base/wintypes.h"

#define DEFAULT_MAX_REQUEST_SIZE 16720u

// Largest accepted request body in bytes and the size of each body buffer.
extern DWORD MaxRequestSize;
// Upper limit of worker threads; not configurable.
constexpr LONG MaxWorkerThreads = 16;

// Replaces MaxRequestSize with "MaxRequestSize" of
// HKLM\SOFTWARE\Veltra\XML Service when that is a non-zero REG_DWORD.
void ReadSettings();
