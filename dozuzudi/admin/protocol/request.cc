#include "admin/protocol/request.h"

#include <cstring>

#include "platform/com/com.h"
#include "platform/base/heap.h"
#include "platform/base/module.h"
#include "platform/registry/registry.h"
#include "platform/text/wstr.h"

CRequest::CRequest(ConnectionOutput* pOutput) : m_pOutput(pOutput) {
  m_writer.m_pOutput = pOutput;
  m_writer.m_pTrans = &m_trans;
}

CRequest::~CRequest() = default;

bool CRequest::SendResponseBlock(BYTE* pbBlock, DWORD cbBlock, bool fLast, DWORD cbBefore,
                                 DWORD cbAfter) {
  return ::SendResponseBlock(m_pOutput, pbBlock, cbBlock, fLast, cbBefore, cbAfter);
}

namespace {

const WCHAR s_wszXmlServiceKey[] = u"System\\CurrentControlSet\\Control\\Veltra\\XMLService";
const WCHAR s_wszActiveSetupKey[] =
    u"Software\\Microsoft\\Active Setup\\Installed Components\\"
    u"{E92B03AB-B707-11d2-9CBD-0000F87A369E}";
const LONG s_rgAdsiMinimumVersion[] = {2, 5};

// The registry DWORD, or 0 when the key, the value or its type is missing.
DWORD ReadExposeAccessLists() {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, s_wszXmlServiceKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return 0;
  DWORD dwValue = 0;
  DWORD dwType = 0;
  DWORD cbValue = sizeof(dwValue);
  LONG lResult = RegQueryValueExW(hKey, u"ExposeAccessLists", nullptr, &dwType,
                                  reinterpret_cast<LPBYTE>(&dwValue), &cbValue);
  RegCloseKey(hKey);
  return (lResult == ERROR_SUCCESS && dwType == REG_DWORD && cbValue == sizeof(dwValue)) ? dwValue : 0;
}

// The installed directory-services version text, or null; the caller frees it.
WCHAR* ReadAdsiVersion() {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, s_wszActiveSetupKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return nullptr;
  DWORD dwType = 0;
  DWORD cbValue = 0;
  WCHAR* pwszVersion = nullptr;
  if (RegQueryValueExW(hKey, u"Version", nullptr, &dwType, nullptr, &cbValue) == ERROR_SUCCESS &&
      dwType == REG_SZ) {
    cbValue &= ~1u;
    // One more unit than the value, so the text is terminated whatever it holds.
    pwszVersion = static_cast<WCHAR*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cbValue + sizeof(WCHAR)));
    if (pwszVersion != nullptr &&
        RegQueryValueExW(hKey, u"Version", nullptr, &dwType, reinterpret_cast<LPBYTE>(pwszVersion),
                         &cbValue) != ERROR_SUCCESS) {
      HeapFree(GetProcessHeap(), 0, pwszVersion);
      pwszVersion = nullptr;
    }
  }
  RegCloseKey(hKey);
  return pwszVersion;
}

}  // namespace

bool IsAdsiVersionRecentEnough(const WCHAR* pwszVersion) {
  const WCHAR* pw = pwszVersion;
  for (LONG nMinimum : s_rgAdsiMinimumVersion) {
    const WCHAR* pwComma = wcschr(pw, u',');
    if (pwComma == nullptr) return false;
    LONG nComponent = _wtol(pw);
    if (nMinimum > nComponent) return false;
    if (nMinimum < nComponent) return true;
    pw = pwComma + 1;
  }
  return true;
}

CRequest20::CRequest20(ConnectionOutput* pOutput)
    : CRequest(pOutput), m_hAdsiModule(nullptr), m_fAccessListsHidden(TRUE), m_adsiEntryPoints{} {
  m_fAccessListsHidden = ReadExposeAccessLists() == 0;
  LoadDirectoryServices();
}

void CRequest20::LoadDirectoryServices() {
  WCHAR* pwszVersion = ReadAdsiVersion();
  if (pwszVersion == nullptr) return;
  bool fRecent = IsAdsiVersionRecentEnough(pwszVersion);
  HeapFree(GetProcessHeap(), 0, pwszVersion);
  if (!fRecent) return;

  m_hAdsiModule = LoadLibraryW(kwszAdsiLibrary);
  if (m_hAdsiModule == nullptr) return;
  if (ResolveAdsiEntryPoints(m_hAdsiModule, &m_adsiEntryPoints)) {
    CoInitialize(nullptr);
    return;
  }
  FreeLibrary(m_hAdsiModule);
  m_hAdsiModule = nullptr;
  m_adsiEntryPoints = CAdsiEntryPoints{};
}

CRequest20::~CRequest20() {
  if (m_hAdsiModule != nullptr) {
    CoUninitialize();
    m_adsiEntryPoints = CAdsiEntryPoints{};
    FreeLibrary(m_hAdsiModule);
  }
}
