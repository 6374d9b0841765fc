// The common part of directory objects: identity, reference counting and
// the IADs properties. CAdsBase holds what every object of the library
// shares; CAdsObject adds an entry of a directory reached through a bound
// session. TBase is the interface class (or a class of defaults for it) that
// the object implements; riidOwn its interface identifier. Groups and
// containers derive from this the same way user objects do.
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

// Reference counting and QueryInterface for the object's own interfaces;
// IDispatch without type information.
template <typename TBase>
class CAdsBase : public platform::CDispatchWithoutTypeInfo<TBase> {
 public:
  explicit CAdsBase(const IID& riidOwn) : m_iidOwn(riidOwn) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IADs || riid == m_iidOwn) {
      *ppv = static_cast<IADs*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return QueryOther(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return m_cRef.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG cRef = m_cRef.fetch_sub(1) - 1;
    if (cRef == 0) delete this;
    return cRef;
  }

  HRESULT STDMETHODCALLTYPE get_GUID(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Schema(BSTR*) override { return E_NOTIMPL; }
  // Properties are read from the directory when asked for: there is no
  // property cache to load or to write back.
  HRESULT STDMETHODCALLTYPE GetInfo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetInfo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Put(BSTR, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetEx(BSTR bstrName, VARIANT* pvProp) override {
    return this->Get(bstrName, pvProp);
  }
  HRESULT STDMETHODCALLTYPE PutEx(LONG, BSTR, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT, LONG) override { return S_OK; }

 protected:
  virtual ~CAdsBase() = default;
  // Interfaces beyond the object's own (E_NOINTERFACE unless overridden).
  virtual HRESULT QueryOther(REFIID, void**) { return E_NOINTERFACE; }

  static HRESULT Text(const std::string& s, BSTR* retval) {
    if (retval == nullptr) return E_POINTER;
    *retval = AllocUtf8Bstr(s);
    return *retval == nullptr ? E_OUTOFMEMORY : S_OK;
  }

 private:
  std::atomic<ULONG> m_cRef{1};
  IID m_iidOwn;
};

// A search over the directory below an entry (directory_search.cc).
HRESULT CreateDirectorySearch(CDirectorySession* pSession, const std::string& sDn, void** ppv);

// Integer attributes, handed out as VT_I4 (and ADSTYPE_INTEGER in searches).
bool IsIntegerAttribute(const std::string& sName);

template <typename TBase>
class CAdsObject : public CAdsBase<TBase> {
 public:
  CAdsObject(CDirectorySession* pSession, std::string sDn, std::string sClass, const IID& riidOwn)
      : CAdsBase<TBase>(riidOwn), m_pSession(pSession), m_sDn(std::move(sDn)), m_sClass(std::move(sClass)) {
    m_pSession->AddRef();
  }

  HRESULT STDMETHODCALLTYPE get_Name(BSTR* retval) override {
    size_t nComma = m_sDn.find(',');
    return this->Text(m_sDn.substr(0, nComma), retval);
  }
  HRESULT STDMETHODCALLTYPE get_Class(BSTR* retval) override { return this->Text(m_sClass, retval); }
  HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* retval) override {
    return this->Text("LDAP://" + m_sDn, retval);
  }
  HRESULT STDMETHODCALLTYPE get_Parent(BSTR* retval) override {
    size_t nComma = m_sDn.find(',');
    return this->Text("LDAP://" + (nComma == std::string::npos ? std::string() : m_sDn.substr(nComma + 1)),
                      retval);
  }
  HRESULT STDMETHODCALLTYPE Get(BSTR bstrName, VARIANT* pvProp) override {
    if (bstrName == nullptr || pvProp == nullptr) return E_POINTER;
    VariantInit(pvProp);
    std::vector<std::string> rgsValues;
    std::string sName = platform::ToUtf8(bstrName);
    HRESULT hr = m_pSession->ReadAttribute(m_sDn, sName.c_str(), &rgsValues);
    if (FAILED(hr)) return hr;
    if (rgsValues.empty()) return E_ADS_PROPERTY_NOT_FOUND;
    if (IsIntegerAttribute(sName)) {
      pvProp->lVal = static_cast<LONG>(std::strtol(rgsValues.front().c_str(), nullptr, 10));
      pvProp->vt = VT_I4;
      return S_OK;
    }
    pvProp->bstrVal = AllocUtf8Bstr(rgsValues.front());
    if (pvProp->bstrVal == nullptr) return E_OUTOFMEMORY;
    pvProp->vt = VT_BSTR;
    return S_OK;
  }

 protected:
  ~CAdsObject() override { m_pSession->Release(); }
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    // A search rooted at this entry, as a separate object.
    if (riid == IID_IDirectorySearch) return CreateDirectorySearch(m_pSession, m_sDn, ppv);
    return E_NOINTERFACE;
  }

  CDirectorySession* m_pSession;
  std::string m_sDn;
  std::string m_sClass;
};
