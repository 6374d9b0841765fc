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
// Memory for secrets held long or in bulk (request bodies, read buffers):
// whole pages of their own, left out of core dumps (MADV_DONTDUMP) and
// wiped when freed. Null when |cb| bytes cannot be had.
void* AllocateSecretPages(SIZE_T cb);
// |cb| as given to AllocateSecretPages.
void FreeSecretPages(void* pv, SIZE_T cb);

// Seam for tests: HeapAlloc (and AllocateSecretPages) of more than |cbLimit| bytes fails (0: no limit),
// standing in for a machine whose memory is exhausted.
void SetHeapAllocLimitForTesting(SIZE_T cbLimit);
}  // namespace platform
VLT_API_END
