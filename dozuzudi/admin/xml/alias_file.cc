// Finding, mapping and loading the alias file.
#include "admin/xml/charset_alias.h"
#include "admin/xml/icu_trans.h"
#include "platform/files/files.h"
#include "platform/base/module.h"
#include "platform/registry/registry.h"
#include "platform/base/sync.h"
#include "platform/text/wstr.h"

namespace {

const WCHAR kAliasFileName[] = u"vltxmlss.txt";
const WCHAR kInstallKey[] = u"Software\\Veltra\\Install";
const WCHAR kInstallLocation[] = u"Location";
const WCHAR kSystemDirectory[] = u"System32\\";

// Bytes of the "Location" value read at most.
constexpr DWORD kcbLocationMax = 260;

}  // namespace

bool CCharsetAliasTable::FindFile(HINSTANCE hModule, WCHAR* pwszPath, int* pError) {
  *pError = XML_OK;
  wcscpy(pwszPath, kAliasFileName);
  if (hModule != nullptr) {
    // Beside the module's own file.
    WCHAR wszModule[MAX_PATH];
    DWORD cw = GetModuleFileNameW(hModule, wszModule, MAX_PATH);
    if (cw == 0 || cw >= MAX_PATH) return true;
    wszModule[cw] = 0;
    DWORD cwDirectory = cw;
    while (cwDirectory > 0 && wszModule[cwDirectory - 1] != u'\\' &&
           wszModule[cwDirectory - 1] != u'/')
      --cwDirectory;
    if (cwDirectory + wcslen(kAliasFileName) >= MAX_PATH) return true;
    wszModule[cwDirectory] = 0;
    wcscpy(pwszPath, wszModule);
    wcscat(pwszPath, kAliasFileName);
    return true;
  }

  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_READ | KEY_WOW64_32KEY, &hKey) !=
      ERROR_SUCCESS)
    return true;
  WCHAR wszLocation[kcbLocationMax / sizeof(WCHAR) + 1] = {};
  DWORD dwType = REG_NONE;
  DWORD cbLocation = kcbLocationMax;
  LONG lStatus = RegQueryValueExW(hKey, kInstallLocation, nullptr, &dwType,
                                  reinterpret_cast<LPBYTE>(wszLocation), &cbLocation);
  RegCloseKey(hKey);
  if (lStatus != ERROR_SUCCESS || (dwType != REG_SZ && dwType != REG_EXPAND_SZ)) {
    *pError = XML_FAILURE;
    return false;
  }
  size_t cw = cbLocation / sizeof(WCHAR);
  if (cw > kcbLocationMax / sizeof(WCHAR)) cw = kcbLocationMax / sizeof(WCHAR);
  wszLocation[cw] = 0;
  cw = wcslen(wszLocation);
  while (cw > 0 && wszLocation[cw - 1] == u' ') wszLocation[--cw] = 0;
  if (cw == 0) return true;
  wcscpy(pwszPath, wszLocation);
  if (wszLocation[cw - 1] != u'\\') wcscat(pwszPath, u"\\");
  wcscat(pwszPath, kSystemDirectory);
  wcscat(pwszPath, kAliasFileName);
  return true;
}

bool CCharsetAliasTable::Load(int* pError, HINSTANCE hModule) {
  *pError = XML_OK;
  if (ms_pHead != nullptr) return true;

  WCHAR wszPath[MAX_PATH];
  if (!FindFile(hModule, wszPath, pError)) return false;
  *pError = XML_FAILURE;
  HANDLE hFile = CreateFileW(wszPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return false;
  DWORD cbFile = GetFileSize(hFile, nullptr);
  if (cbFile == 0 || cbFile == INVALID_FILE_SIZE) {
    CloseHandle(hFile);
    return false;
  }
  HANDLE hMapping = CreateFileMappingW(hFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (hMapping == nullptr) {
    CloseHandle(hFile);
    return false;
  }
  const void* pvView = MapViewOfFile(hMapping, FILE_MAP_READ, 0, 0, 0);
  if (pvView == nullptr) {
    CloseHandle(hMapping);
    CloseHandle(hFile);
    return false;
  }
  Parse(static_cast<const unsigned char*>(pvView), cbFile);
  UnmapViewOfFile(pvView);
  CloseHandle(hMapping);
  CloseHandle(hFile);
  *pError = XML_OK;
  return true;
}
