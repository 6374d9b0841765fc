#include "platform/ldap/directory_settings.h"

#include "platform/registry/registry.h"
#include "platform/text/wstr.h"

namespace platform {

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

bool ReadDirectorySettings(CDirectorySettings* pSettings) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Veltra\\Directory Services", 0, KEY_READ,
                    &hKey) != ERROR_SUCCESS)
    return false;
  CDirectorySettings settings;
  settings.sDomain = ReadRegistryUtf8(hKey, u"DomainName");
  ReadConnectionSettings(hKey, &settings);
  settings.sBindDn = ReadRegistryUtf8(hKey, u"BindDN");
  settings.sPasswordFile = ReadRegistryUtf8(hKey, u"BindPasswordFile");
  settings.sKeytab = ReadRegistryUtf8(hKey, u"Keytab");
  settings.sKeytabPrincipal = ReadRegistryUtf8(hKey, u"KeytabPrincipal");
  settings.sSearchBase = ReadRegistryUtf8(hKey, u"SearchBase");
  RegCloseKey(hKey);
  if (settings.sDomain.empty()) return false;
  if (settings.sSearchBase.empty()) settings.sSearchBase = BaseOfDomain(settings.sDomain);
  if (settings.rgsServers.empty()) settings.rgsServers.push_back("ldaps://" + settings.sDomain + "/");
  *pSettings = std::move(settings);
  return true;
}

void ReadConnectionSettings(HKEY hKey, CConnectionSettings* pSettings) {
  std::string sServers = ReadRegistryUtf8(hKey, u"Servers");
  size_t nPos = 0;
  while (nPos < sServers.size()) {
    size_t nEnd = sServers.find_first_of(" \t", nPos);
    if (nEnd == std::string::npos) nEnd = sServers.size();
    if (nEnd > nPos) pSettings->rgsServers.push_back(sServers.substr(nPos, nEnd - nPos));
    nPos = nEnd + 1;
  }
  pSettings->sCaFile = ReadRegistryUtf8(hKey, u"CACertificateFile");
  DWORD dw = 0;
  if (ReadNumber(hKey, u"StartTLS", &dw)) pSettings->fStartTls = dw != 0;
  if (ReadNumber(hKey, u"AllowPlainLoopback", &dw)) pSettings->fAllowPlainLoopback = dw != 0;
  if (ReadNumber(hKey, u"NetworkTimeout", &dw) && dw != 0) pSettings->nTimeoutSeconds = dw;
}

}  // namespace platform
