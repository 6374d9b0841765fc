// platform/com: a minimal COM runtime (ole32 and oleaut32): apartments of
// the calling thread, interfaces as C++ classes, activation of in-process
// servers, GUID text (this header); BSTR, VARIANT and SAFEARRAY
// (oleauto.h); and the class-factory template and IDispatch part every
// in-process server uses (inproc_server.h).
//
// Backed by: the registry (platform/registry) for class registrations and
// the dynamic loader (platform/base/module.h) for server modules.
// Threads: apartments are per thread; CoCreateInstance may be called from
// any thread in an apartment; objects are as thread safe as their servers
// make them.
// Failures: HRESULTs, tested by sign; every out pointer is null on failure.
// Our choices: in-process servers only (no marshalling, no local or remote
// servers); the two apartment models differ only in RPC_E_CHANGED_MODE;
// a module that served an object stays loaded; no type libraries.
//
// Apartments. Each thread keeps a count of CoInitialize(Ex) calls and the
// concurrency model of the first: the first call answers S_OK, later calls
// with the same model S_FALSE (each to be matched by CoUninitialize), and a
// call with the other model RPC_E_CHANGED_MODE (not to be matched).
// CoUninitialize without a matching call does nothing.
//
// Interfaces. IUnknown, IDispatch and IClassFactory are abstract classes
// whose virtual functions are laid out in COM vtable order: QueryInterface,
// AddRef and Release in slots 0 to 2, then the derived interfaces' methods
// in declaration order. They have no virtual destructor, so that no slot is
// added; objects delete themselves in Release.
//
// Activation. CoCreateInstance finds the class's in-process server as the
// default value (REG_SZ or REG_EXPAND_SZ, taken as written) of
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32, or else of
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{clsid}\InprocServer32. The value
// is a module name or path, loaded by the rules of module.h. The module
// exports
//   extern "C" HRESULT DllGetClassObject(REFCLSID, REFIID, LPVOID*);
// which is asked for the class's IClassFactory; its CreateInstance makes the
// object. A module stays loaded once it has served an object (as on Windows
// until CoFreeUnusedLibraries, which this runtime does not offer).
// Statuses, in the order they are checked:
//   E_POINTER            ppv is null
//   CO_E_NOTINITIALIZED  the calling thread is in no apartment
//   REGDB_E_CLASSNOTREG  no InprocServer32 registration (or an empty one), or
//                        dwClsContext without CLSCTX_INPROC_SERVER
//   CLASS_E_NOAGGREGATION  pUnkOuter is not null: no class of this runtime
//                        can be aggregated; the module is not loaded
//   HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)  the module cannot be loaded
//   CO_E_ERRORINDLL      the module has no DllGetClassObject
//   the failure of DllGetClassObject or of IClassFactory::CreateInstance
//                        (E_NOINTERFACE when the object lacks riid)
// *ppv is null on every failure.
//
// OleRun: in-process objects are always running: S_OK (E_INVALIDARG for null).
#pragma once

#include "platform/com/oleauto.h"
#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

#define STDMETHODCALLTYPE

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_ALL 0x17

#define CO_E_CLASSSTRING static_cast<HRESULT>(0x800401F3u)
#define CO_E_ERRORINDLL static_cast<HRESULT>(0x800401F9u)

class ITypeInfo;

class IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

class IDispatch : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                  LCID lcid, DISPID* rgDispId) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                           DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                           EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                   void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

// Enumerates VARIANTs: Next copies up to celt items into rgVar and answers
// S_OK when it copied celt, S_FALSE when fewer (the end was reached);
// *pCeltFetched, when given, receives the count. The caller owns the copies
// (VariantClear each).
class IEnumVARIANT : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) = 0;
};

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                                     {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00020400-0000-0000-C000-000000000046}
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000,
                                      {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000,
                                          {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// {00020404-0000-0000-C000-000000000046}
inline constexpr IID IID_IEnumVARIANT = {0x00020404, 0x0000, 0x0000,
                                         {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

typedef HRESULT(STDMETHODCALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
HRESULT CoInitialize(LPVOID pvReserved);
void CoUninitialize();

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);
HRESULT OleRun(LPUNKNOWN pUnknown);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper-case hex, terminated:
// returns 39 (the units written with the terminator), or 0 when cchMax is
// below 39.
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Parses the form above (hex digits in either case); CO_E_CLASSSTRING when
// the text is not exactly that form.
HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);

namespace platform {
// The calling thread's count of unmatched CoInitialize(Ex) calls.
int ComApartmentDepth();
}  // namespace platform
VLT_API_END
