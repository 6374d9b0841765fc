#include "platform/device.h"

namespace platform {
HANDLE OpenDevice(LPCWSTR) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}
}  // namespace platform
