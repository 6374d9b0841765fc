// Where setup copies the extension from: the Windows folder that the
// product's install keys name, in the 32-bit view of the registry.
#include "admin/setup/setup_steps.h"
#include "platform/registry/registry.h"
#include "platform/text/wstr.h"

namespace {

constexpr WCHAR kwszProductInstallKey[] =
    u"SOFTWARE\\Veltra\\Install\\{5A1E7C30-2B9D-4F61-8C0A-3E47D19B6F25}";
constexpr WCHAR kwszInstallKey[] = u"SOFTWARE\\Veltra\\Install";
constexpr WCHAR kwszWindowsFolderValue[] = u"WindowsFolder";
constexpr REGSAM kInstallKeyAccess = KEY_READ | KEY_WOW64_32KEY;

}  // namespace

void FindCopySource(WCHAR (&wszSource)[kcwSetupPath]) {
  wszSource[0] = 0;
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kwszProductInstallKey, 0, kInstallKeyAccess, &hKey) !=
          ERROR_SUCCESS &&
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kwszInstallKey, 0, kInstallKeyAccess, &hKey) != ERROR_SUCCESS)
    return;
  WCHAR wszFolder[kcwSetupPath + 1] = {0};
  DWORD cbFolder = kcwSetupPath * sizeof(WCHAR);
  DWORD dwType = REG_NONE;
  LONG lResult = RegQueryValueExW(hKey, kwszWindowsFolderValue, nullptr, &dwType,
                                  reinterpret_cast<LPBYTE>(wszFolder), &cbFolder);
  RegCloseKey(hKey);
  if (lResult != ERROR_SUCCESS || dwType != REG_SZ || wcslen(wszFolder) > kcchSetupPathMax) return;
  size_t cchFolder = wcslen(wszFolder);
  const WCHAR* pwszTail = cchFolder != 0 && wszFolder[cchFolder - 1] != u'\\'
                              ? u"\\System32\\vltadmin.dll"
                              : u"System32\\vltadmin.dll";
  if (!JoinPath(wszSource, wszFolder, pwszTail)) wszSource[0] = 0;
}
