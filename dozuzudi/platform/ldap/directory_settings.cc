#include "platform/ldap/directory_settings.h"

#include "platform/registry/registry.h"
#include "platform/text/wstr.h"

namespace platform {

std::string ReadRegistryText(HKEY hKey, LPCWSTR pwName) {
  DWORD dwType = 0;
  DWORD cb = 0;
  if (RegQueryValueExW(hKey, pwName, nullptr, &dwType, nullptr, &cb) != ERROR_SUCCESS ||
      (dwType != REG_SZ && dwType != REG_EXPAND_SZ) || cb < sizeof(WCHAR))
    return {};
  std::u16string s(cb / sizeof(WCHAR), u'\0');
  if (RegQueryValueExW(hKey, pwName, nullptr, &dwType, reinterpret_cast<LPBYTE>(s.data()), &cb) !=
      ERROR_SUCCESS)
    return {};
  while (!s.empty() && s.back() == 0) s.pop_back();
  return ToUtf8(s);
}

namespace {

bool ReadNumber(HKEY hKey, const char16_t* pwName, DWORD* pdw) {
  DWORD dwType = 0;
  DWORD cb = sizeof(DWORD);
  DWORD dw = 0;
  if (RegQueryValueExW(hKey, pwName, nullptr, &dwType, reinterpret_cast<LPBYTE>(&dw), &cb) !=
          ERROR_SUCCESS ||
      dwType != REG_DWORD)
    return false;
  *pdw = dw;
  return true;
}

std::string BaseOfDomain(const std::string& sDomain) {
  std::string sBase;
  size_t nStart = 0;
  while (nStart <= sDomain.size()) {
    size_t nDot = sDomain.find('.', nStart);
    if (nDot == std::string::npos) nDot = sDomain.size();
    if (nDot > nStart) {
      if (!sBase.empty()) sBase += ',';
      sBase += "dc=" + sDomain.substr(nStart, nDot - nStart);
    }
    nStart = nDot + 1;
  }
  return sBase;
}

}  // namespace

bool ReadDirectorySettings(DirectorySettings* pSettings) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Veltra\\Directory Services", 0, KEY_READ,
                    &hKey) != ERROR_SUCCESS)
    return false;
  DirectorySettings settings;
  settings.sDomain = ReadRegistryText(hKey, u"DomainName");
  ReadConnectionSettings(hKey, &settings);
  settings.sBindDn = ReadRegistryText(hKey, u"BindDN");
  settings.sPasswordFile = ReadRegistryText(hKey, u"BindPasswordFile");
  settings.sKeytab = ReadRegistryText(hKey, u"Keytab");
  settings.sKeytabPrincipal = ReadRegistryText(hKey, u"KeytabPrincipal");
  settings.sSearchBase = ReadRegistryText(hKey, u"SearchBase");
  RegCloseKey(hKey);
  if (settings.sDomain.empty()) return false;
  if (settings.sSearchBase.empty()) settings.sSearchBase = BaseOfDomain(settings.sDomain);
  if (settings.rgsServers.empty()) settings.rgsServers.push_back("ldaps://" + settings.sDomain + "/");
  *pSettings = std::move(settings);
  return true;
}

void ReadConnectionSettings(HKEY hKey, ConnectionSettings* pSettings) {
  std::string sServers = ReadRegistryText(hKey, u"Servers");
  size_t nPos = 0;
  while (nPos < sServers.size()) {
    size_t nEnd = sServers.find_first_of(" \t", nPos);
    if (nEnd == std::string::npos) nEnd = sServers.size();
    if (nEnd > nPos) pSettings->rgsServers.push_back(sServers.substr(nPos, nEnd - nPos));
    nPos = nEnd + 1;
  }
  pSettings->sCaFile = ReadRegistryText(hKey, u"CACertificateFile");
  DWORD dw = 0;
  if (ReadNumber(hKey, u"StartTLS", &dw)) pSettings->fStartTls = dw != 0;
  if (ReadNumber(hKey, u"AllowPlainLoopback", &dw)) pSettings->fAllowPlainLoopback = dw != 0;
  if (ReadNumber(hKey, u"NetworkTimeout", &dw) && dw != 0) pSettings->nTimeoutSeconds = dw;
}

}  // namespace platform
