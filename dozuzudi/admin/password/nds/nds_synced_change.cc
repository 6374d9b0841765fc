// NDS changes with single-byte copies of the request's strings, and the
// change of the same user's password in the NT domain that mirrors the tree.
#include "admin/messages/change_password_request.h"
#include "admin/password/nds/narrow_text.h"
#include "admin/password/nds/nds_trace.inl"
#include "admin/password/password_back_ends.h"
#include "platform/base/heap.h"
#include "platform/registry/registry.h"

namespace {

const DWORD s_cbSyncedDomainName = 1024;
const DWORD s_cwNdsLeaf = 255;

}  // namespace

AdminError ChangeNdsAndSyncedNt(CChangePasswordRequest& message) {
  char* rgpsz[4] = {NarrowCopy(message.UserName()), NarrowCopy(message.Domain()),
                    NarrowCopy(message.OldPassword()), NarrowCopy(message.NewPassword())};
  AdminError pwszResult = ERR_ID_OPERATION_FAILED;
  if (rgpsz[0] != nullptr && rgpsz[1] != nullptr && rgpsz[2] != nullptr && rgpsz[3] != nullptr) {
    pwszResult = g_passwordBackEnds.pfnChangeNdsPassword(rgpsz[0], rgpsz[1], rgpsz[2], rgpsz[3]);
    if (pwszResult == nullptr) {
      WCHAR* pwszSynced = nullptr;
      WCHAR* pwszLeaf = nullptr;
      if (ReadSyncedDomainName(&pwszSynced)) {
        if (GetNdsLeafName(&pwszLeaf, message.UserName())) {
          // The NDS change stands whatever the mirrored change gives; a
          // failure is only traced.
          AdminError pwszMirror = ChangeNtPassword(pwszSynced, pwszLeaf, message.OldPassword(),
                                                   message.NewPassword());
          if (pwszMirror != nullptr)
            NdsTrace(QTR_ERROR, kNdsTraceSyncedChangeFailed, QtrString(pwszSynced), QtrString(pwszLeaf),
                     QtrString(pwszMirror));
          HeapFree(GetProcessHeap(), 0, pwszLeaf);
        }
        HeapFree(GetProcessHeap(), 0, pwszSynced);
      }
    }
  }
  for (char* psz : rgpsz) FreeNarrow(psz);
  return pwszResult;
}

bool ReadSyncedDomainName(WCHAR** ppwszDomain) {
  *ppwszDomain = nullptr;
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Veltra\\NDS", 0, KEY_READ | KEY_WOW64_32KEY,
                    &hKey) != ERROR_SUCCESS)
    return false;
  auto* pwszDomain =
      static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, s_cbSyncedDomainName));
  DWORD dwType = 0;
  DWORD cbData = s_cbSyncedDomainName;
  bool fRead = pwszDomain != nullptr &&
               RegQueryValueExW(hKey, u"SyncedDomainName", nullptr, &dwType,
                                reinterpret_cast<LPBYTE>(pwszDomain), &cbData) == ERROR_SUCCESS &&
               dwType == REG_SZ;
  RegCloseKey(hKey);
  // Fewer than two bytes hold no character: the value counts as absent.
  if (!fRead || cbData < sizeof(WCHAR)) {
    HeapFree(GetProcessHeap(), 0, pwszDomain);
    return false;
  }
  // The last unit of the data becomes the terminator.
  pwszDomain[cbData / sizeof(WCHAR) - 1] = 0;
  *ppwszDomain = pwszDomain;
  return true;
}

bool GetNdsLeafName(WCHAR** ppwszLeaf, LPCWSTR pwszName) {
  *ppwszLeaf = nullptr;
  if (pwszName == nullptr || pwszName[0] != u'.') return false;
  auto* pwszLeaf =
      static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, s_cwNdsLeaf * sizeof(WCHAR)));
  if (pwszLeaf == nullptr) return false;
  DWORD cw = 0;
  for (const WCHAR* pw = pwszName + 1; *pw != 0 && *pw != u'.' && cw < s_cwNdsLeaf - 2; ++pw)
    pwszLeaf[cw++] = *pw;
  pwszLeaf[cw] = 0;
  *ppwszLeaf = pwszLeaf;
  return true;
}
