// COM apartments of the calling thread.
//
// Each thread keeps a count of CoInitialize(Ex) calls and the concurrency
// model of the first: the first call answers S_OK, later calls with the same
// model S_FALSE (each to be matched by CoUninitialize), and a call with the
// other model RPC_E_CHANGED_MODE (not to be matched). CoUninitialize without
// a matching call does nothing.
#pragma once

#include "platform/wintypes.h"

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
HRESULT CoInitialize(LPVOID pvReserved);
void CoUninitialize();

namespace platform {
// The calling thread's count of unmatched CoInitialize(Ex) calls.
int ComApartmentDepth();
}  // namespace platform
