#include "admin/password/nds/narrow_text.h"

#include "platform/base/heap.h"

char* NarrowCopy(LPCWSTR pwsz) {
  SIZE_T cw = 0;
  while (pwsz[cw] != 0) ++cw;
  auto* psz = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, 2 * (cw + 1)));
  if (psz == nullptr) return nullptr;
  for (SIZE_T i = 0; i <= cw; ++i) {
    if (pwsz[i] > 0xFF) {
      SecureZeroMemory(psz, i);
      HeapFree(GetProcessHeap(), 0, psz);
      return nullptr;
    }
    psz[i] = static_cast<char>(pwsz[i]);
  }
  return psz;
}

void FreeNarrow(char* psz) {
  if (psz == nullptr) return;
  SIZE_T cb = 0;
  while (psz[cb] != '\0') ++cb;
  SecureZeroMemory(psz, cb);
  HeapFree(GetProcessHeap(), 0, psz);
}
