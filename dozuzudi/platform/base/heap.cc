#include "platform/base/heap.h"

#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define VLT_POISON(pv, cb) ASAN_POISON_MEMORY_REGION(pv, cb)
#define VLT_UNPOISON(pv, cb) ASAN_UNPOISON_MEMORY_REGION(pv, cb)
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define VLT_POISON(pv, cb) ASAN_POISON_MEMORY_REGION(pv, cb)
#define VLT_UNPOISON(pv, cb) ASAN_UNPOISON_MEMORY_REGION(pv, cb)
#endif
#endif
#ifndef VLT_POISON
#define VLT_POISON(pv, cb) ((void)(pv), (void)(cb))
#define VLT_UNPOISON(pv, cb) ((void)(pv), (void)(cb))
#endif

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
namespace {
SIZE_T PageSize() {
  static const SIZE_T s_cbPage = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
  return s_cbPage;
}
SIZE_T PageRounded(SIZE_T cb) { return (cb + PageSize() - 1) / PageSize() * PageSize(); }

// Freed secret blocks of up to kcMaxPages pages, wiped, kept for the next
// allocation of the same size (a request's buffer then costs no system
// call), up to kcbMaxCached bytes in all.
constexpr SIZE_T kcMaxPages = 16;
constexpr SIZE_T kcPerSize = 32;
constexpr SIZE_T kcbMaxCached = 4 << 20;
struct CSecretPageCache {
  std::mutex lock;
  SIZE_T cbCached = 0;
  SIZE_T rgcFree[kcMaxPages + 1] = {};
  void* rgrgpvFree[kcMaxPages + 1][kcPerSize] = {};
};
CSecretPageCache& PageCache() {
  static CSecretPageCache* s_pCache = new CSecretPageCache;  // never freed: used until the end
  return *s_pCache;
}
}  // namespace

void* AllocateSecretPages(SIZE_T cb) {
  SIZE_T cbLimit = s_cbLimit.load(std::memory_order_relaxed);
  if (cb == 0) cb = 1;
  if (cbLimit != 0 && cb > cbLimit) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const SIZE_T cbPages = PageRounded(cb);
  const SIZE_T nPages = cbPages / PageSize();
  void* pv = nullptr;
  if (nPages <= kcMaxPages) {
    CSecretPageCache& cache = PageCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    if (cache.rgcFree[nPages] > 0) {
      pv = cache.rgrgpvFree[nPages][--cache.rgcFree[nPages]];
      cache.cbCached -= cbPages;
    }
  }
  if (pv == nullptr) {
    pv = mmap(nullptr, cbPages, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pv == MAP_FAILED) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    // A private anonymous mapping always takes the advice.
    madvise(pv, cbPages, MADV_DONTDUMP);
  }
  // The rest of the last page stays out of reach of the address sanitizer's
  // callers, as past the end of a heap block.
  VLT_UNPOISON(pv, cb);
  VLT_POISON(static_cast<char*>(pv) + cb, cbPages - cb);
  return pv;
}

void FreeSecretPages(void* pv, SIZE_T cb) {
  if (pv == nullptr) return;
  if (cb == 0) cb = 1;
  const SIZE_T cbPages = PageRounded(cb);
  const SIZE_T nPages = cbPages / PageSize();
  VLT_UNPOISON(pv, cbPages);
  explicit_bzero(pv, cbPages);
  if (nPages <= kcMaxPages) {
    CSecretPageCache& cache = PageCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    if (cache.rgcFree[nPages] < kcPerSize && cache.cbCached + cbPages <= kcbMaxCached) {
      // Kept: a use after the free is the address sanitizer's to report.
      VLT_POISON(pv, cbPages);
      cache.rgrgpvFree[nPages][cache.rgcFree[nPages]++] = pv;
      cache.cbCached += cbPages;
      return;
    }
  }
  munmap(pv, cbPages);
}

void SetHeapAllocLimitForTesting(SIZE_T cbLimit) { s_cbLimit.store(cbLimit); }
}  // namespace platform
