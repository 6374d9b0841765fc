// The object behind every HANDLE the platform hands out.
#pragma once

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

namespace platform {

class CKernelObject {
 public:
  virtual ~CKernelObject() = default;
  // Waits until the object is signalled; WAIT_OBJECT_0 or WAIT_TIMEOUT.
  virtual DWORD Wait(DWORD dwMilliseconds);
  // A device request (DeviceIoControl); FALSE with ERROR_INVALID_FUNCTION
  // for objects that are not devices.
  virtual BOOL IoControl(DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                         LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned);
};

inline HANDLE ToHandle(CKernelObject* p) { return static_cast<HANDLE>(p); }
// Null for null and INVALID_HANDLE_VALUE.
CKernelObject* FromHandle(HANDLE h);

}  // namespace platform
VLT_API_END
