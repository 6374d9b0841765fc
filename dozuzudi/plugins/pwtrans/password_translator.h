// The sample password translator: gives each password the Unicode normal
// form configured for its domain (normal_form.h), so that a password typed
// on systems that compose accents differently reaches the domain the same
// way. The user name plays no part.
#pragma once

#include <atomic>

#include "platform/com/inproc_server.h"
#include "plugins/password_translator.h"

// No type information: the interface is called through its vtable.
class CPasswordTranslator final : public platform::CDispatchWithoutTypeInfo<IPasswordTranslator> {
 public:
  CPasswordTranslator() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE get_Version(LONG* pnVersion) override;
  // E_POINTER without a result, E_INVALIDARG without a password or when the
  // domain's configured form is unknown; else as NormalizePassword.
  HRESULT STDMETHODCALLTYPE Translate(BSTR bstrDomain, BSTR bstrUser, BSTR bstrPassword,
                                      VARIANT* pvarResult) override;

 private:
  std::atomic<ULONG> m_nRefs{1};
};
