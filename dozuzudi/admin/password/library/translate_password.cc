// TranslatePassword and the process-wide TranslatorState.
#include "admin/password/library/library_trace.h"
#include "admin/password/library/password_library.h"
#include "admin/password/library/translated_password.h"
#include "platform/com/com.h"
#include "platform/base/heap.h"
#include "plugins/password_translator.h"
#include "platform/base/sync.h"

namespace {

// Moved away from Untried once, by compare-and-set; read through the same
// interlocked operations.
LONG volatile s_nTranslatorState = eTranslatorUntried;

// Leaves Untried for eState when no other move happened first; traces the
// move it made.
void SettleTranslatorState(ETranslatorState eState, USHORT nMessage) {
  if (InterlockedCompareExchange(&s_nTranslatorState, eState, eTranslatorUntried) ==
      eTranslatorUntried)
    LibraryTrace(QTR_INFO, nMessage);
}

// A running translator's IPasswordTranslator, or null.
IPasswordTranslator* CreateTranslator() {
  IUnknown* pUnknown = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_PasswordTranslator, nullptr, kdwTranslatorClsContext,
                                IID_IUnknown, reinterpret_cast<void**>(&pUnknown));
  IPasswordTranslator* pTranslator = nullptr;
  if (SUCCEEDED(hr)) hr = OleRun(pUnknown);
  if (SUCCEEDED(hr))
    hr = pUnknown->QueryInterface(IID_IPasswordTranslator, reinterpret_cast<void**>(&pTranslator));
  if (pUnknown != nullptr) pUnknown->Release();
  return SUCCEEDED(hr) ? pTranslator : nullptr;
}

// One call of Translate with BSTR copies of the arguments; true when the
// result is a usable string.
bool CallTranslate(IPasswordTranslator* pTranslator, LPCWSTR pwszUser, LPCWSTR pwszDomain,
                   LPCWSTR pwszPassword, VARIANT* pvarResult) {
  BSTR bstrPassword = SysAllocString(pwszPassword);
  BSTR bstrUser = SysAllocString(pwszUser);
  BSTR bstrDomain = SysAllocString(pwszDomain);
  HRESULT hr = E_OUTOFMEMORY;
  if ((bstrPassword != nullptr || pwszPassword == nullptr) &&
      (bstrUser != nullptr || pwszUser == nullptr) && (bstrDomain != nullptr || pwszDomain == nullptr))
    hr = pTranslator->Translate(bstrDomain, bstrUser, bstrPassword, pvarResult);
  if (bstrPassword != nullptr) SecureZeroMemory(bstrPassword, SysStringByteLen(bstrPassword));
  SysFreeString(bstrPassword);
  SysFreeString(bstrUser);
  SysFreeString(bstrDomain);
  // Only a string can stand for a password; any other answer is a failure.
  if (SUCCEEDED(hr) && (pvarResult->vt != VT_BSTR || pvarResult->bstrVal == nullptr)) hr = E_UNEXPECTED;
  if (FAILED(hr)) {
    WipeAndClear(pvarResult);
    return false;
  }
  return true;
}

}  // namespace

ETranslatorState CurrentTranslatorState() {
  return static_cast<ETranslatorState>(InterlockedExchangeAdd(&s_nTranslatorState, 0));
}

bool TranslatePassword(LPCWSTR pwszUser, LPCWSTR pwszDomain, LPCWSTR pwszPassword,
                       VARIANT* pvarResult) {
  LibraryTrace(QTR_ENTRY, kTraceTranslateBegins);
  bool fTranslated = false;
  if (CurrentTranslatorState() != eTranslatorUnavailable) {
    HRESULT hrInit = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // RPC_E_CHANGED_MODE: the thread is already in another apartment, which
    // serves as well; it is not ours to leave.
    if (SUCCEEDED(hrInit) || hrInit == RPC_E_CHANGED_MODE) {
      try {
        if (IPasswordTranslator* pTranslator = CreateTranslator()) {
          fTranslated = CallTranslate(pTranslator, pwszUser, pwszDomain, pwszPassword, pvarResult);
          pTranslator->Release();
        }
      } catch (...) {
        // A server that throws has failed; whatever it left is discarded.
        WipeAndClear(pvarResult);
        fTranslated = false;
      }
      if (fTranslated) {
        LibraryTrace(QTR_INFO, kTraceTranslated);
        SettleTranslatorState(eTranslatorAvailable, kTraceTranslatorAvailable);
      }
      if (hrInit == S_OK || hrInit == S_FALSE) CoUninitialize();
    }
    SettleTranslatorState(eTranslatorUnavailable, kTraceTranslatorUnavailable);
  }
  LibraryTrace(QTR_ENTRY, kTraceTranslateEnds);
  return fTranslated;
}
