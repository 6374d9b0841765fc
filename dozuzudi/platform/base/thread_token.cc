#include "platform/base/thread_token.h"

namespace {
// The pseudo-handle of the calling thread, as on Windows.
HANDLE const s_hCurrentThread = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
}  // namespace

HANDLE GetCurrentThread() { return s_hCurrentThread; }

BOOL OpenThreadToken(HANDLE, DWORD, BOOL, PHANDLE TokenHandle) {
  if (TokenHandle != nullptr) *TokenHandle = nullptr;
  SetLastError(ERROR_NO_TOKEN);
  return FALSE;
}

BOOL RevertToSelf() { return TRUE; }

BOOL SetThreadToken(PHANDLE, HANDLE Token) {
  if (Token == nullptr) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
