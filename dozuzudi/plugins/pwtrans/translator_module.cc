// The module's entry point for COM activation: the class factory of
// PasswordTranslator.
#include <new>

#include "plugins/pwtrans/password_translator.h"

namespace {

// One static factory for the life of the module; it counts no references.
class CPasswordTranslatorFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppvObject = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    CPasswordTranslator* pTranslator = new (std::nothrow) CPasswordTranslator();
    if (pTranslator == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = pTranslator->QueryInterface(riid, ppvObject);
    pTranslator->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

CPasswordTranslatorFactory ms_factory;

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!(rclsid == CLSID_PasswordTranslator)) return CLASS_E_CLASSNOTAVAILABLE;
  return ms_factory.QueryInterface(riid, ppv);
}
