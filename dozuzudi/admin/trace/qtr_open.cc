// QtrOpen: registration of a module with the trace device.
#include <atomic>

#include "admin/trace/qtr_trace.h"
#include "platform/files/files.h"
#include "platform/base/sync.h"

namespace {
// The handle QtrWrite sends records to: that of the latest successful open.
// Every module's records may go through any handle of the process; handles
// are never closed. Null until then (a constant, so that an open made while
// the library's static objects are constructed is not undone).
constinit std::atomic<HANDLE> s_hWriteDevice{nullptr};
}  // namespace

void QtrOpen(QtrTraceModule* pModule, CQtrStateAddress* ppState) {
  pModule->hDevice = CreateFileW(platform::kTraceDeviceName, 0, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (pModule->hDevice == INVALID_HANDLE_VALUE) return;

  void* rgpIn[2] = {const_cast<GUID*>(pModule->pguidModule),
                    const_cast<WCHAR*>(pModule->pwModuleName)};
  QtrTraceState* pState = nullptr;
  DWORD cbReturned = 0;
  const BOOL fOpened = DeviceIoControl(pModule->hDevice, IOCTL_QTR_OPEN, rgpIn, sizeof rgpIn,
                                       &pState, sizeof pState, &cbReturned, nullptr);
  if (!fOpened || pState == nullptr) {
    // Refused, or accepted without a state: the module stays silent for
    // the life of the process. The block keeps no closed handle.
    ppState->store(nullptr, std::memory_order_release);
    CloseHandle(pModule->hDevice);
    pModule->hDevice = INVALID_HANDLE_VALUE;
    return;
  }
  s_hWriteDevice.store(pModule->hDevice, std::memory_order_release);
  ppState->store(pState, std::memory_order_release);
}

HANDLE QtrWriteDevice() { return s_hWriteDevice.load(std::memory_order_acquire); }

void QtrSetWriteDeviceForTesting(HANDLE hDevice) {
  s_hWriteDevice.store(hDevice, std::memory_order_release);
}
