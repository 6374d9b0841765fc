// String values read whole, for the platform's own settings.
#include "platform/registry/registry.h"
#include "platform/text/wstr.h"

namespace platform {

std::u16string ReadRegistryText(HKEY hKey, LPCWSTR lpValueName) {
  DWORD dwType = 0;
  DWORD cb = 0;
  if (RegQueryValueExW(hKey, lpValueName, nullptr, &dwType, nullptr, &cb) != ERROR_SUCCESS ||
      (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
    return {};
  // Room for an odd last byte too; only whole units are text.
  std::u16string sText((cb + 1) / sizeof(WCHAR), u'\0');
  if (RegQueryValueExW(hKey, lpValueName, nullptr, &dwType, reinterpret_cast<LPBYTE>(sText.data()),
                       &cb) != ERROR_SUCCESS)
    return {};
  sText.resize(cb / sizeof(WCHAR));
  size_t cwText = sText.find(u'\0');
  if (cwText != std::u16string::npos) sText.resize(cwText);
  return sText;
}

std::string ReadRegistryUtf8(HKEY hKey, LPCWSTR lpValueName) {
  return ToUtf8(ReadRegistryText(hKey, lpValueName));
}

}  // namespace platform
