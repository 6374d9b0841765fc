// The sample password translator: gives each password the Unicode normal
// form configured for its domain (normal_form.h), so that a password typed
// on systems that compose accents differently reaches the domain the same
// way. The user name plays no part.
#pragma once

#include <atomic>

#include "plugins/password_translator.h"

class CPasswordTranslator final : public IPasswordTranslator {
 public:
  CPasswordTranslator() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // No type information: the interface is called through its vtable.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_Version(LONG* pnVersion) override;
  // E_POINTER without a result, E_INVALIDARG without a password or when the
  // domain's configured form is unknown; else as NormalizePassword.
  HRESULT STDMETHODCALLTYPE Translate(BSTR bstrDomain, BSTR bstrUser, BSTR bstrPassword,
                                      VARIANT* pvarResult) override;

 private:
  std::atomic<ULONG> m_nRefs{1};
};
