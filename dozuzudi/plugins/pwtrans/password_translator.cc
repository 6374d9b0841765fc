#include "plugins/pwtrans/password_translator.h"

#include "plugins/pwtrans/normal_form.h"

HRESULT CPasswordTranslator::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IPasswordTranslator) {
    *ppvObject = static_cast<IPasswordTranslator*>(this);
    AddRef();
    return S_OK;
  }
  *ppvObject = nullptr;
  return E_NOINTERFACE;
}

ULONG CPasswordTranslator::AddRef() { return ++m_nRefs; }

ULONG CPasswordTranslator::Release() {
  ULONG nRefs = --m_nRefs;
  if (nRefs == 0) delete this;
  return nRefs;
}

HRESULT CPasswordTranslator::get_Version(LONG* pnVersion) {
  if (pnVersion == nullptr) return E_POINTER;
  *pnVersion = 1;
  return S_OK;
}

HRESULT CPasswordTranslator::Translate(BSTR bstrDomain, BSTR, BSTR bstrPassword, VARIANT* pvarResult) {
  if (pvarResult == nullptr) return E_POINTER;
  if (bstrPassword == nullptr) return E_INVALIDARG;
  ENormalForm eForm = ConfiguredNormalForm(bstrDomain);
  if (eForm == eNormalFormUnknown) return E_INVALIDARG;
  BSTR bstrResult = nullptr;
  HRESULT hr = NormalizePassword(eForm, bstrPassword, SysStringLen(bstrPassword), &bstrResult);
  if (FAILED(hr)) return hr;
  VariantClear(pvarResult);
  pvarResult->vt = VT_BSTR;
  pvarResult->bstrVal = bstrResult;
  return S_OK;
}
