#include "admin/host/settings.h"

#include "platform/registry/registry.h"

DWORD MaxRequestSize = DEFAULT_MAX_REQUEST_SIZE;

void ReadSettings() {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Veltra\\XML Service", 0,
                    KEY_READ | KEY_WOW64_32KEY, &hKey) != ERROR_SUCCESS)
    return;
  DWORD dwValue = 0;
  DWORD dwType = 0;
  DWORD cbValue = sizeof(dwValue);
  if (RegQueryValueExW(hKey, u"MaxRequestSize", nullptr, &dwType,
                       reinterpret_cast<LPBYTE>(&dwValue), &cbValue) == ERROR_SUCCESS &&
      dwType == REG_DWORD && cbValue == sizeof(dwValue) && dwValue != 0)
    MaxRequestSize = dwValue;
  RegCloseKey(hKey);
}
