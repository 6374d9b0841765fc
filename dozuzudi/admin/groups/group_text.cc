#include "admin/groups/group_text.h"

#include "platform/base/heap.h"

DWORD TextLength(const WCHAR* pwsz) {
  DWORD cw = 0;
  while (pwsz != nullptr && pwsz[cw] != 0) ++cw;
  return cw;
}

WCHAR* JoinText(const WCHAR* pwszA, const WCHAR* pwszB, const WCHAR* pwszC) {
  const WCHAR* rgpwsz[] = {pwszA, pwszB, pwszC};
  SIZE_T cw = 1;
  for (const WCHAR* pwsz : rgpwsz) cw += TextLength(pwsz);
  auto* pwszOut = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, cw * sizeof(WCHAR)));
  if (pwszOut == nullptr) return nullptr;
  WCHAR* pw = pwszOut;
  for (const WCHAR* pwsz : rgpwsz)
    for (DWORD i = 0, c = TextLength(pwsz); i < c; ++i) *pw++ = pwsz[i];
  *pw = 0;
  return pwszOut;
}

WCHAR* CopyUnitsOf(const WCHAR* pw, DWORD cw) {
  auto* pwsz = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, (static_cast<SIZE_T>(cw) + 1) * sizeof(WCHAR)));
  if (pwsz == nullptr) return nullptr;
  for (DWORD i = 0; i < cw; ++i) pwsz[i] = pw[i];
  pwsz[cw] = 0;
  return pwsz;
}

void FreeText(WCHAR* pwsz) {
  if (pwsz != nullptr) HeapFree(GetProcessHeap(), 0, pwsz);
}
