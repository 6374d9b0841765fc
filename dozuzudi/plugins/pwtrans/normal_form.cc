#include "plugins/pwtrans/normal_form.h"

#include <unicode/unorm2.h>

#include <memory>
#include <new>
#include <string>

#include "platform/base/heap.h"
#include "platform/registry/registry.h"
#include "platform/text/wstr.h"

namespace {

constexpr WCHAR kwszRoot[] = u"SOFTWARE\\Veltra\\PasswordTranslator";
// No code point grows by more than this factor under NFC or NFKC (U+FDFA
// gives 18 units under NFKC).
constexpr UINT kcwMaxExpansion = 18;
constexpr UINT kcwMaxPassword = 1u << 16;

// The "NormalForm" value of a key under the root; false when absent.
bool ReadNormalForm(const std::u16string& sSubKey, ENormalForm* peForm) {
  std::u16string sKey = kwszRoot;
  if (!sSubKey.empty()) sKey += u"\\" + sSubKey;
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, sKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return false;
  WCHAR wszValue[16] = {};
  DWORD dwType = 0;
  DWORD cb = sizeof wszValue - sizeof(WCHAR);
  LONG nResult = RegQueryValueExW(hKey, u"NormalForm", nullptr, &dwType,
                                  reinterpret_cast<LPBYTE>(wszValue), &cb);
  RegCloseKey(hKey);
  if (nResult == ERROR_FILE_NOT_FOUND) return false;
  if (nResult != ERROR_SUCCESS || dwType != REG_SZ)
    *peForm = eNormalFormUnknown;
  else if (_wcsicmp(wszValue, u"NFC") == 0)
    *peForm = eNormalFormNfc;
  else if (_wcsicmp(wszValue, u"NFKC") == 0)
    *peForm = eNormalFormNfkc;
  else if (_wcsicmp(wszValue, u"none") == 0)
    *peForm = eNormalFormNone;
  else
    *peForm = eNormalFormUnknown;
  return true;
}

}  // namespace

ENormalForm ConfiguredNormalForm(LPCWSTR pwszDomain) {
  ENormalForm eForm = eNormalFormNfc;
  std::u16string sOwnKey;
  if (pwszDomain == nullptr) {
    sOwnKey = u"Directory";
  } else if (pwszDomain[0] != 0) {
    // A domain holding a backslash would name some other key: it has none.
    std::u16string sDomain = pwszDomain;
    if (sDomain.find(u'\\') == std::u16string::npos) sOwnKey = u"Domains\\" + sDomain;
  }
  if (!sOwnKey.empty() && ReadNormalForm(sOwnKey, &eForm)) return eForm;
  ReadNormalForm(u"", &eForm);
  return eForm;
}

HRESULT NormalizePassword(ENormalForm eForm, const OLECHAR* pwPassword, UINT cw, BSTR* pbstr) {
  *pbstr = nullptr;
  if (cw > kcwMaxPassword) return E_INVALIDARG;
  if (eForm == eNormalFormNone) {
    *pbstr = SysAllocStringLen(pwPassword, cw);
    return *pbstr != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  UErrorCode nError = U_ZERO_ERROR;
  const UNormalizer2* pNormalizer = eForm == eNormalFormNfc    ? unorm2_getNFCInstance(&nError)
                                    : eForm == eNormalFormNfkc ? unorm2_getNFKCInstance(&nError)
                                                               : nullptr;
  if (pNormalizer == nullptr) return E_INVALIDARG;
  if (U_FAILURE(nError)) return E_FAIL;
  // Large enough that ICU writes straight into it and keeps no copy of its own.
  UINT cwBuffer = cw * kcwMaxExpansion + 1;
  std::unique_ptr<UChar[]> pwBuffer(new (std::nothrow) UChar[cwBuffer]);
  if (pwBuffer == nullptr) return E_OUTOFMEMORY;
  int32_t cwNormal = unorm2_normalize(pNormalizer, pwPassword, static_cast<int32_t>(cw),
                                      pwBuffer.get(), static_cast<int32_t>(cwBuffer), &nError);
  HRESULT hr = E_FAIL;
  if (U_SUCCESS(nError) && cwNormal >= 0 && static_cast<UINT>(cwNormal) < cwBuffer) {
    *pbstr = SysAllocStringLen(pwBuffer.get(), static_cast<UINT>(cwNormal));
    hr = *pbstr != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  SecureZeroMemory(pwBuffer.get(), cwBuffer * sizeof(UChar));
  return hr;
}
