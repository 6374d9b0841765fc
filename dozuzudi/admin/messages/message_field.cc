#include "admin/messages/message_field.h"

#include "platform/base/heap.h"

WCHAR* CopyMessageField(const unsigned short* pwText, DWORD cwText) {
  auto* pwsz = static_cast<WCHAR*>(
      HeapAlloc(GetProcessHeap(), 0, (static_cast<SIZE_T>(cwText) + 1) * sizeof(WCHAR)));
  if (pwsz == nullptr) return nullptr;
  for (DWORD i = 0; i < cwText; ++i) pwsz[i] = pwText[i];
  pwsz[cwText] = 0;
  return pwsz;
}

void FreeMessageField(WCHAR* pwsz, bool fSecret) {
  if (pwsz == nullptr) return;
  if (fSecret) {
    SIZE_T cw = 0;
    while (pwsz[cw] != 0) ++cw;
    SecureZeroMemory(pwsz, cw * sizeof(WCHAR));
  }
  HeapFree(GetProcessHeap(), 0, pwsz);
}

void ReplaceMessageField(WCHAR** ppwszField, const unsigned short* pwText, DWORD cwText, bool fSecret) {
  WCHAR* pwszNew = CopyMessageField(pwText, cwText);
  if (pwszNew == nullptr) pwszNew = CopyMessageField(nullptr, 0);
  FreeMessageField(*ppwszField, fSecret);
  *ppwszField = pwszNew;
}
