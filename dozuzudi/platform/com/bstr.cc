// BSTR: a 32-bit byte count, the units, a terminator, in one allocation.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/com/oleauto.h"

namespace {

constinit std::atomic<platform::SysFreeStringHook> s_pfnFreeHook{nullptr};

BYTE* Block(BSTR bstr) { return reinterpret_cast<BYTE*>(bstr) - sizeof(DWORD); }

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* pch, UINT ui) {
  if (ui > (0x7FFFFFFFu - sizeof(DWORD) - sizeof(OLECHAR)) / sizeof(OLECHAR)) return nullptr;
  DWORD cb = ui * static_cast<DWORD>(sizeof(OLECHAR));
  BYTE* pb = static_cast<BYTE*>(std::malloc(sizeof(DWORD) + cb + sizeof(OLECHAR)));
  if (pb == nullptr) return nullptr;
  std::memcpy(pb, &cb, sizeof cb);
  BSTR bstr = reinterpret_cast<BSTR>(pb + sizeof(DWORD));
  if (pch != nullptr)
    std::memcpy(bstr, pch, cb);
  else
    std::memset(bstr, 0, cb);
  bstr[ui] = 0;
  return bstr;
}

BSTR SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  UINT cw = 0;
  while (psz[cw] != 0) ++cw;
  return SysAllocStringLen(psz, cw);
}

UINT SysStringByteLen(BSTR bstr) {
  if (bstr == nullptr) return 0;
  DWORD cb;
  std::memcpy(&cb, Block(bstr), sizeof cb);
  return cb;
}

UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / sizeof(OLECHAR); }

void SysFreeString(BSTR bstr) {
  if (bstr == nullptr) return;
  if (platform::SysFreeStringHook pfnHook = s_pfnFreeHook.load(std::memory_order_acquire))
    pfnHook(bstr, SysStringByteLen(bstr));
  std::free(Block(bstr));
}

namespace platform {
void SetSysFreeStringHookForTesting(SysFreeStringHook pfnHook) {
  s_pfnFreeHook.store(pfnHook, std::memory_order_release);
}
}  // namespace platform
