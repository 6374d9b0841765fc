// The common part of directory objects: identity, reference counting and
// the IADs properties, over a bound session. TBase is the interface class
// (or a class of defaults for it) that the object implements; riidOwn its
// interface identifier. Groups and containers derive from this the same way
// user objects do.
#pragma once

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "platform/activeds/directory_session.h"
#include "platform/activeds/adsi.h"
#include "platform/com/inproc_server.h"
#include "platform/text/wstr.h"

// A BSTR of UTF-8 text.
inline BSTR AllocUtf8Bstr(const std::string& s) {
  std::u16string w = platform::FromUtf8(s);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

template <typename TBase>
class CAdsObject : public platform::CDispatchWithoutTypeInfo<TBase> {
 public:
  CAdsObject(CDirectorySession* pSession, std::string sDn, std::string sClass, const IID& riidOwn)
      : m_pSession(pSession), m_sDn(std::move(sDn)), m_sClass(std::move(sClass)), m_iidOwn(riidOwn) {
    m_pSession->AddRef();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IADs || riid == m_iidOwn) {
      *ppv = static_cast<IADs*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return m_cRef.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG cRef = m_cRef.fetch_sub(1) - 1;
    if (cRef == 0) delete this;
    return cRef;
  }

  HRESULT STDMETHODCALLTYPE get_Name(BSTR* retval) override {
    size_t nComma = m_sDn.find(',');
    return Text(m_sDn.substr(0, nComma), retval);
  }
  HRESULT STDMETHODCALLTYPE get_Class(BSTR* retval) override { return Text(m_sClass, retval); }
  HRESULT STDMETHODCALLTYPE get_GUID(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* retval) override {
    return Text("LDAP://" + m_sDn, retval);
  }
  HRESULT STDMETHODCALLTYPE get_Parent(BSTR* retval) override {
    size_t nComma = m_sDn.find(',');
    return Text("LDAP://" + (nComma == std::string::npos ? std::string() : m_sDn.substr(nComma + 1)),
                retval);
  }
  HRESULT STDMETHODCALLTYPE get_Schema(BSTR*) override { return E_NOTIMPL; }
  // Properties are read from the directory when asked for: there is no
  // property cache to load or to write back.
  HRESULT STDMETHODCALLTYPE GetInfo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetInfo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Get(BSTR bstrName, VARIANT* pvProp) override {
    if (bstrName == nullptr || pvProp == nullptr) return E_POINTER;
    VariantInit(pvProp);
    std::vector<std::string> rgsValues;
    HRESULT hr = m_pSession->ReadAttribute(m_sDn, platform::ToUtf8(bstrName).c_str(), &rgsValues);
    if (FAILED(hr)) return hr;
    if (rgsValues.empty()) return E_ADS_PROPERTY_NOT_FOUND;
    pvProp->bstrVal = AllocUtf8Bstr(rgsValues.front());
    if (pvProp->bstrVal == nullptr) return E_OUTOFMEMORY;
    pvProp->vt = VT_BSTR;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Put(BSTR, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetEx(BSTR bstrName, VARIANT* pvProp) override {
    return Get(bstrName, pvProp);
  }
  HRESULT STDMETHODCALLTYPE PutEx(LONG, BSTR, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT, LONG) override { return S_OK; }

 protected:
  virtual ~CAdsObject() { m_pSession->Release(); }

  static HRESULT Text(const std::string& s, BSTR* retval) {
    if (retval == nullptr) return E_POINTER;
    *retval = AllocUtf8Bstr(s);
    return *retval == nullptr ? E_OUTOFMEMORY : S_OK;
  }

  CDirectorySession* m_pSession;
  std::string m_sDn;
  std::string m_sClass;

 private:
  std::atomic<ULONG> m_cRef{1};
  IID m_iidOwn;
};
