// The group operations that group objects do not offer: each answers
// E_NOTIMPL. Group objects derive from this and override what they support.
#pragma once

#include "platform/activeds/adsi.h"

class CAdsGroupDefaults : public IADsGroup {
 public:
  HRESULT STDMETHODCALLTYPE get_Description(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Description(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsMember(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Add(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Remove(BSTR) override { return E_NOTIMPL; }
};
