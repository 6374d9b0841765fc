#include "platform/base/handle.h"

#include "platform/base/sync.h"

namespace platform {

DWORD CKernelObject::Wait(DWORD) { return WAIT_FAILED; }

BOOL CKernelObject::IoControl(DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD) {
  SetLastError(ERROR_INVALID_FUNCTION);
  return FALSE;
}

CKernelObject* FromHandle(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return nullptr;
  return static_cast<CKernelObject*>(h);
}

}  // namespace platform

BOOL CloseHandle(HANDLE hObject) {
  platform::CKernelObject* object = platform::FromHandle(hObject);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete object;
  return TRUE;
}

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }
