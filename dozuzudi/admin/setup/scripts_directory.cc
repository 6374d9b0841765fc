// Finding the web server's scripts directory.
#include "admin/setup/setup_steps.h"
#include "admin/setup/setup_trace.h"
#include "platform/files/files.h"
#include "platform/registry/registry.h"
#include "platform/text/wstr.h"

namespace {

constexpr WCHAR kwszSetting[] = u"IIS_SCRIPTS_DIR=";
constexpr WCHAR kwszVirtualRootsKey[] =
    u"SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots";
constexpr WCHAR kwszScriptsValue[] = u"/Scripts";

// D from the "/Scripts" value: "path,further,fields".
bool ReadScriptsValue(WCHAR (&wszDir)[kcwSetupPath]) {
  SetupTrace(QTR_INFO, kSetupTraceScriptsFromRegistry);
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kwszVirtualRootsKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
    SetupTrace(QTR_INFO, kSetupTraceNoVirtualRoots);
    return false;
  }
  // One unit beyond the 260 characters and their terminator keeps a value
  // stored without a terminator terminated.
  WCHAR wszValue[kcwSetupPath + 1] = {0};
  DWORD cbValue = kcwSetupPath * sizeof(WCHAR);
  DWORD dwType = REG_NONE;
  LONG lResult = RegQueryValueExW(hKey, kwszScriptsValue, nullptr, &dwType,
                                  reinterpret_cast<LPBYTE>(wszValue), &cbValue);
  RegCloseKey(hKey);
  if (lResult != ERROR_SUCCESS || (dwType != REG_SZ && dwType != REG_EXPAND_SZ)) {
    SetupTrace(QTR_INFO, kSetupTraceScriptsUnreadable);
    return false;
  }
  if (cbValue == 0) return false;
  WCHAR* pwComma = const_cast<WCHAR*>(wcschr(wszValue, u','));
  if (pwComma == nullptr) {
    SetupTrace(QTR_INFO, kSetupTraceScriptsNoComma);
    return false;
  }
  *pwComma = 0;
  // An empty path would put the extension in the root directory.
  if (wszValue[0] == 0) return false;
  SetupTrace(QTR_INFO, kSetupTraceScriptsFromValue);
  wcscpy(wszDir, wszValue);
  return true;
}

}  // namespace

bool FindScriptsDirectory(WCHAR (&wszDir)[kcwSetupPath]) {
  wszDir[0] = 0;
  if (const WCHAR* pwSetting = wcsstr(GetCommandLineW(), kwszSetting)) {
    const WCHAR* pwValue = pwSetting + wcslen(kwszSetting);
    if (wcslen(pwValue) > kcchSetupPathMax) return false;
    wcscpy(wszDir, pwValue);
  }
  return wszDir[0] != 0 || ReadScriptsValue(wszDir);
}
