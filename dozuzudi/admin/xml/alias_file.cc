// Finding, mapping and loading the alias file.
#include "admin/xml/charset_alias.h"
#include "admin/xml/icu_trans.h"
#include "platform/files/files.h"
#include "platform/base/module.h"
#include "platform/registry/registry.h"
#include "platform/base/sync.h"
#include "platform/text/debug_output.h"
#include "platform/text/wstr.h"

namespace {

const WCHAR kAliasFileName[] = u"vltxmlss.txt";
const WCHAR kInstallKey[] = u"Software\\Veltra\\Install";
const WCHAR kInstallLocation[] = u"Location";
const WCHAR kSystemDirectory[] = u"System32\\";

// Bytes of the "Location" value read at most.
constexpr DWORD kcbLocationMax = 260;

// Says why the alias file, and so the extension, cannot be had: the file's
// path (backslashes shown as the separators they are) and the reason.
void ReportAliasFile(const WCHAR* pwszPath, const WCHAR* pwszReason) {
  WCHAR wszLine[MAX_PATH + 512];
  wcscpy(wszLine, u"cannot start: the encoding alias file ");
  size_t cw = wcslen(wszLine);
  for (const WCHAR* pw = pwszPath; *pw != 0 && cw < MAX_PATH + 80; ++pw)
    wszLine[cw++] = *pw == u'\\' ? u'/' : *pw;
  wszLine[cw] = 0;
  wcscat(wszLine, pwszReason);
  // A bare file name: the registry gave no install location to look in.
  if (wcschr(pwszPath, u'\\') == nullptr && wcschr(pwszPath, u'/') == nullptr)
    wcscat(wszLine, u" (the registry has no key HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install "
                    u"with the install location: Location\\System32\\vltxmlss.txt)");
  OutputDebugStringW(wszLine);
}

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
    OutputDebugStringW(
        u"cannot start: the registry gives no install location (the text value \"Location\" "
        u"of HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install), which holds "
        u"System32/vltxmlss.txt");
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
  if (hFile == INVALID_HANDLE_VALUE) {
    const DWORD dwError = GetLastError();
    ReportAliasFile(wszPath, dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND
                                 ? u" is missing"
                             : dwError == ERROR_ACCESS_DENIED ? u" cannot be read (access denied)"
                                                              : u" cannot be opened");
    return false;
  }
  DWORD cbFile = GetFileSize(hFile, nullptr);
  if (cbFile == 0 || cbFile == INVALID_FILE_SIZE) {
    ReportAliasFile(wszPath, cbFile == 0 ? u" is empty" : u" cannot be read");
    CloseHandle(hFile);
    return false;
  }
  HANDLE hMapping = CreateFileMappingW(hFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
  const void* pvView =
      hMapping != nullptr ? MapViewOfFile(hMapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
  if (pvView == nullptr) {
    ReportAliasFile(wszPath, u" cannot be mapped");
    if (hMapping != nullptr) CloseHandle(hMapping);
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
