// Automation types: BSTR and VARIANT.
//
// BSTR: a pointer to UTF-16 text that the runtime allocated, laid out as on
// Windows: a 32-bit count of the text's bytes (without the terminator) just
// before the first unit, then the units, then a 16-bit zero terminator. A
// null BSTR stands for the empty or absent string; SysStringLen(null) is 0.
// A BSTR comes only from SysAllocString(Len) and goes back only through
// SysFreeString. SysFreeString does not wipe: code that keeps a secret in a
// BSTR overwrites it first.
//
// VARIANT: the Windows layout (a VARTYPE, three reserved words, an 8-byte or
// pointer-pair union). VariantInit sets VT_EMPTY; VariantClear frees a
// VT_BSTR with SysFreeString, releases a VT_UNKNOWN or VT_DISPATCH interface
// (when not null), destroys a VT_ARRAY safe array with its elements, leaves
// a VT_BYREF reference alone and sets VT_EMPTY; a type this runtime does
// not know gives DISP_E_BADVARTYPE and leaves the VARIANT as it was.
//
// SAFEARRAY: one-dimensional arrays of VARIANT, BSTR or interface
// pointers in the Windows layout, made by SafeArrayCreateVector. Elements
// start zeroed (VT_EMPTY, null); SafeArrayPutElement stores a copy (a new
// BSTR, an AddRef'd interface, a deep copy of a VARIANT) and frees what the
// slot held; SafeArrayGetElement hands out such a copy; SafeArrayDestroy
// frees every element and then the array. An index outside the bounds is
// DISP_E_BADINDEX.
//
// Thread safety: every operation is safe on distinct objects from any thread.
#pragma once

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

class IUnknown;
class IDispatch;

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;
typedef USHORT VARTYPE;
typedef SHORT VARIANT_BOOL;
typedef double DATE;
typedef LONG DISPID;
typedef DWORD LCID;
typedef LONG SCODE;

#define VARIANT_TRUE static_cast<VARIANT_BOOL>(-1)
#define VARIANT_FALSE static_cast<VARIANT_BOOL>(0)

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R8 = 5,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_UI4 = 19,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};

#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800
#define FADF_HAVEVARTYPE 0x0080

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONG lVal;
    SHORT iVal;
    ULONG ulVal;
    double dblVal;
    DATE date;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    VARIANT* pvarVal;
    SAFEARRAY* parray;
    void* byref;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } record;
  };
};
typedef VARIANT VARIANTARG;

struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  void* pfnDeferredFillIn;
  SCODE scode;
};

#define DISP_E_BADVARTYPE static_cast<HRESULT>(0x80020008u)
#define DISP_E_BADINDEX static_cast<HRESULT>(0x8002000Bu)
#define DISP_E_ARRAYISLOCKED static_cast<HRESULT>(0x8002000Du)

// A copy of the terminated text, null when psz is null or memory runs out.
BSTR SysAllocString(const OLECHAR* psz);
// A string of ui units copied from pch (zeros when pch is null), terminated.
BSTR SysAllocStringLen(const OLECHAR* pch, UINT ui);
// Null does nothing.
void SysFreeString(BSTR bstrString);
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);

void VariantInit(VARIANT* pvarg);
HRESULT VariantClear(VARIANT* pvarg);
// A deep copy of pvargSrc into pvargDest, which is cleared first.
HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc);

// vt is VT_VARIANT, VT_BSTR, VT_UNKNOWN or VT_DISPATCH; null otherwise or
// when memory runs out.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
UINT SafeArrayGetDim(SAFEARRAY* psa);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
// pv is a VARIANT*, a BSTR or an interface pointer, as the array holds.
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
// pv receives a VARIANT, a BSTR or an interface pointer, as the array holds.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);

namespace platform {
// Seam for tests: while set, SysFreeString calls the hook with every BSTR it
// is about to free (not null) and its byte count, before the memory is
// released, so a test can see what the string held at that moment. The
// hook may run on any thread; null removes it.
typedef void (*SysFreeStringHook)(const OLECHAR* pch, UINT cb);
void SetSysFreeStringHookForTesting(SysFreeStringHook pfnHook);
}  // namespace platform
VLT_API_END
