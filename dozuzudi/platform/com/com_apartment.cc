#include "platform/com/com.h"

namespace {
thread_local int t_nDepth = 0;
thread_local DWORD t_dwModel = 0;
}  // namespace

HRESULT CoInitializeEx(LPVOID, DWORD dwCoInit) {
  DWORD dwModel = dwCoInit & COINIT_APARTMENTTHREADED;
  if (t_nDepth > 0) {
    if (dwModel != t_dwModel) return RPC_E_CHANGED_MODE;
    ++t_nDepth;
    return S_FALSE;
  }
  t_dwModel = dwModel;
  t_nDepth = 1;
  return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  if (t_nDepth > 0) --t_nDepth;
}

namespace platform {
int ComApartmentDepth() { return t_nDepth; }
}  // namespace platform
