// LocalAlloc and LocalFree over malloc. Blocks are wiped when freed, since
// callers keep request data (and possibly secrets) in them.
#include <malloc.h>
#include <string.h>

#include <cstdlib>

#include "platform/files/files.h"

void* LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  if ((uFlags & ~static_cast<UINT>(LMEM_ZEROINIT)) != LMEM_FIXED) {
    SetLastError(ERROR_INVALID_PARAMETER);  // only fixed blocks
    return nullptr;
  }
  size_t cb = uBytes != 0 ? uBytes : 1;
  void* p = (uFlags & LMEM_ZEROINIT) != 0 ? std::calloc(1, cb) : std::malloc(cb);
  if (p == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

void* LocalFree(void* hMem) {
  if (hMem != nullptr) {
    explicit_bzero(hMem, malloc_usable_size(hMem));
    std::free(hMem);
  }
  return nullptr;
}
