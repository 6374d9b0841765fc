// Stand-in directory objects for tests. CFakeAdsObject: the IADs part of
// one, where only GetInfo and GetInfoEx succeed (there is nothing to load).
// CFakeAdsUser: ChangePassword records the passwords it gets, runs an
// optional action and answers a chosen HRESULT; every other method answers
// E_NOTIMPL (or does nothing). It lives on the test's stack, so reference
// counting is not exercised.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "platform/activeds/ads_user_defaults.h"
#include "platform/com/inproc_server.h"

template <typename TBase>
class CFakeAdsObject : public platform::CDispatchWithoutTypeInfo<TBase> {
 public:
  HRESULT STDMETHODCALLTYPE get_Name(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Class(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_GUID(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Parent(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Schema(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetInfo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetInfo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Get(BSTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Put(BSTR, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetEx(BSTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE PutEx(LONG, BSTR, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT, LONG) override { return S_OK; }
};

class CFakeAdsUser final : public CFakeAdsObject<CAdsUserDefaults> {
 public:
  explicit CFakeAdsUser(HRESULT hrChange = S_OK, std::function<void()> afterChange = {})
      : m_hrChange(hrChange), m_afterChange(std::move(afterChange)) {}

  HRESULT STDMETHODCALLTYPE ChangePassword(BSTR bstrOld, BSTR bstrNew) override {
    ++m_nChanges;
    // The length before the text must agree with the terminated text.
    m_fBstrLengthsRight = SysStringLen(bstrOld) == std::u16string(bstrOld).size() &&
                          SysStringLen(bstrNew) == std::u16string(bstrNew).size();
    m_sOld = bstrOld;
    m_sNew = bstrNew;
    if (m_afterChange) m_afterChange();
    return m_hrChange;
  }

  HRESULT m_hrChange;
  std::function<void()> m_afterChange;
  int m_nChanges = 0;
  bool m_fBstrLengthsRight = false;
  std::u16string m_sOld;
  std::u16string m_sNew;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};
