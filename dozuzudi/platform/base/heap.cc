#include "platform/base/heap.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {
std::atomic<SIZE_T> s_cbLimit{0};
// Any non-null value serves: there is one heap.
int s_processHeap;
}  // namespace

HANDLE GetProcessHeap() { return &s_processHeap; }

LPVOID HeapAlloc(HANDLE, DWORD dwFlags, SIZE_T dwBytes) {
  SIZE_T cbLimit = s_cbLimit.load(std::memory_order_relaxed);
  if (cbLimit != 0 && dwBytes > cbLimit) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* p = (dwFlags & HEAP_ZERO_MEMORY) ? std::calloc(1, dwBytes ? dwBytes : 1)
                                         : std::malloc(dwBytes ? dwBytes : 1);
  if (p == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

BOOL HeapFree(HANDLE, DWORD, LPVOID lpMem) {
  std::free(lpMem);
  return TRUE;
}

void SecureZeroMemory(void* ptr, SIZE_T cnt) {
  if (ptr == nullptr || cnt == 0) return;
  std::memset(ptr, 0, cnt);
  // Keeps the stores: the compiler must assume the memory is read.
  __asm__ __volatile__("" : : "r"(ptr) : "memory");
}

namespace platform {
void SetHeapAllocLimitForTesting(SIZE_T cbLimit) { s_cbLimit.store(cbLimit); }
}  // namespace platform
