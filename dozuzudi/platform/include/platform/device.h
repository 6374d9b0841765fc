// Devices named "\\.\..." (opened by CreateFileW). The trace device
// "\\.\Global\VLTQTR" is the only one; see trace_device.h for its requests.
#pragma once

#include "platform/wintypes.h"

namespace platform {
// Opens a device by its full name; INVALID_HANDLE_VALUE (GetLastError set)
// when the device is absent.
HANDLE OpenDevice(LPCWSTR name);
}  // namespace platform
