// The process heap (HeapAlloc, HeapFree).
//
// HeapAlloc returns null when the block cannot be had; it never throws.
// HEAP_ZERO_MEMORY zeroes the block.
#pragma once

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

#define HEAP_ZERO_MEMORY 0x00000008

HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes);
BOOL HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem);
// Zeroes memory in a way the compiler cannot drop (for secrets).
void SecureZeroMemory(void* ptr, SIZE_T cnt);

namespace platform {
// Seam for tests: HeapAlloc of more than |cbLimit| bytes fails (0: no limit),
// standing in for a machine whose memory is exhausted.
void SetHeapAllocLimitForTesting(SIZE_T cbLimit);
}  // namespace platform
VLT_API_END
