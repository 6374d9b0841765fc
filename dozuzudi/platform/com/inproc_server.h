// Building blocks of an in-process COM server (a module that CoCreateInstance
// loads through InprocServer32): one class factory for every class it serves,
// and one IDispatch part for objects that are called through their vtable
// only. Header-only; every in-process server of the project uses them.
//
// A server module needs:
//   class CThing final : public platform::CDispatchWithoutTypeInfo<IThing> {
//    public:
//     CThing();  // starts with one reference, which CreateInstance drops
//     ... QueryInterface, AddRef, Release and IThing's own methods ...
//   };
//   extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
//     return platform::GetClassObject({{CLSID_Thing, platform::CClassFactory<CThing>::Instance()}},
//                                     rclsid, riid, ppv);
//   }
// An object whose interface derives from IUnknown only (not IDispatch) skips
// CDispatchWithoutTypeInfo and uses the factory all the same.
#pragma once

#include <initializer_list>
#include <new>

#include "platform/base/api.h"
#include "platform/com/com.h"

VLT_API_BEGIN
namespace platform {

// The IDispatch methods of an object without type information: callers use
// the interface's vtable, never names or DISPIDs. GetTypeInfoCount answers
// 0 type infos; the other three E_NOTIMPL.
// TInterface: an interface derived from IDispatch (or a class of defaults for one).
template <typename TInterface>
class CDispatchWithoutTypeInfo : public TInterface {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
};

// The class object of TObject: one static instance per class that counts no
// references and lives as long as the module. CreateInstance makes a new
// TObject (E_OUTOFMEMORY when that fails), asks it for riid and drops the
// reference the object was born with, so a refused interface frees it.
// Aggregation is refused (CLASS_E_NOAGGREGATION); LockServer does nothing,
// since a module that served an object stays loaded.
// REQUIRES: TObject is default-constructible, starts with one reference and
// implements QueryInterface and Release.
template <typename TObject>
class CClassFactory final : public IClassFactory {
 public:
  static IClassFactory* Instance() {
    static CClassFactory s_factory;
    return &s_factory;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    TObject* pObject = new (std::nothrow) TObject();
    if (pObject == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = pObject->QueryInterface(riid, ppv);
    pObject->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  CClassFactory() = default;
};

// One class a module serves: its CLSID and its class object.
struct CServedClass {
  const CLSID& rclsid;
  IClassFactory* pFactory;
};

// The work of a module's DllGetClassObject: the class object of rclsid among
// the classes served, asked for riid. E_POINTER for a null ppv;
// CLASS_E_CLASSNOTAVAILABLE for a class the module does not serve; *ppv is
// null on every failure.
inline HRESULT GetClassObject(std::initializer_list<CServedClass> classes, REFCLSID rclsid,
                              REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  for (const CServedClass& served : classes)
    if (served.rclsid == rclsid) return served.pFactory->QueryInterface(riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace platform
VLT_API_END
