// A scriptable password translator for the library's tests.
#include "fake_translator_control.h"
#include "platform/com/inproc_server.h"
#include "plugins/password_translator.h"

namespace {

FakeTranslatorControl ms_control;

void CopyText(char16_t* pwDest, BSTR bstr) {
  int i = 0;
  for (; bstr != nullptr && bstr[i] != 0 && i < kcwFakeText - 1; ++i) pwDest[i] = bstr[i];
  pwDest[i] = 0;
}

class CFakeTranslator final : public platform::CDispatchWithoutTypeInfo<IPasswordTranslator> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    bool fTranslator = riid == IID_IPasswordTranslator || riid == IID_IDispatch;
    if (!(riid == IID_IUnknown) && !(fTranslator && !ms_control.fWithoutInterface)) return E_NOINTERFACE;
    *ppv = static_cast<IPasswordTranslator*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_nRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG nRefs = --m_nRefs;
    if (nRefs == 0) delete this;
    return nRefs;
  }
  HRESULT STDMETHODCALLTYPE get_Version(LONG* pn) override {
    *pn = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Translate(BSTR bstrDomain, BSTR bstrUser, BSTR bstrPassword,
                                      VARIANT* pvarResult) override {
    int n = ms_control.nTranslate++;
    int eAnswer = eFakeAnswerPrefixed;
    if (n < kcFakeCalls) {
      eAnswer = ms_control.rgeAnswer[n];
      CopyText(ms_control.rgwszDomain[n], bstrDomain);
      CopyText(ms_control.rgwszUser[n], bstrUser);
      CopyText(ms_control.rgwszPassword[n], bstrPassword);
      ms_control.rgfDomainNull[n] = bstrDomain == nullptr;
    }
    if (eAnswer == eFakeAnswerFail) return E_FAIL;
    if (eAnswer == eFakeAnswerNotString) {
      pvarResult->vt = VT_I4;
      pvarResult->lVal = 7;
      return S_OK;
    }
    UINT cw = SysStringLen(bstrPassword);
    BSTR bstrResult = SysAllocStringLen(nullptr, cw + 3);
    bstrResult[0] = u't';
    bstrResult[1] = u'r';
    bstrResult[2] = u':';
    for (UINT i = 0; i < cw; ++i) bstrResult[3 + i] = bstrPassword[i];
    pvarResult->vt = VT_BSTR;
    pvarResult->bstrVal = bstrResult;
    return S_OK;
  }

 private:
  std::atomic<ULONG> m_nRefs{1};
};

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  ++ms_control.nGetClassObject;
  return platform::GetClassObject(
      {{CLSID_PasswordTranslator, platform::CClassFactory<CFakeTranslator>::Instance()}}, rclsid, riid,
      ppv);
}

extern "C" FakeTranslatorControl* FakeTranslator() { return &ms_control; }
