// VARIANT initialisation and clearing.
#include "platform/com/com.h"

void VariantInit(VARIANT* pvarg) { pvarg->vt = VT_EMPTY; }

HRESULT VariantClear(VARIANT* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  VARTYPE vt = pvarg->vt;
  if ((vt & VT_BYREF) == 0) {
    switch (vt) {
      case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R8: case VT_DATE:
      case VT_ERROR: case VT_BOOL: case VT_UI4:
        break;
      case VT_BSTR:
        SysFreeString(pvarg->bstrVal);
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
        break;
      default:
        if ((vt & VT_ARRAY) == 0) return DISP_E_BADVARTYPE;
        if (HRESULT hr = SafeArrayDestroy(pvarg->parray); FAILED(hr)) return hr;
        break;
    }
  } else if ((vt & VT_ARRAY) != 0) {
    return DISP_E_BADVARTYPE;
  }
  pvarg->vt = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc) {
  if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  VARIANT copy = *pvargSrc;
  VARTYPE vt = pvargSrc->vt;
  if (vt == VT_BSTR && pvargSrc->bstrVal != nullptr) {
    copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
    if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
  } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && pvargSrc->punkVal != nullptr) {
    pvargSrc->punkVal->AddRef();
  } else if (vt == (VT_ARRAY | VT_VARIANT) || vt == (VT_ARRAY | VT_BSTR) ||
             vt == (VT_ARRAY | VT_UNKNOWN) || vt == (VT_ARRAY | VT_DISPATCH)) {
    SAFEARRAY* psa = pvargSrc->parray;
    if (psa != nullptr) {
      VARTYPE vtElement = static_cast<VARTYPE>(vt & ~VT_ARRAY);
      copy.parray = SafeArrayCreateVector(vtElement, psa->rgsabound[0].lLbound,
                                          psa->rgsabound[0].cElements);
      if (copy.parray == nullptr) return E_OUTOFMEMORY;
      for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i) {
        LONG nIndex = psa->rgsabound[0].lLbound + static_cast<LONG>(i);
        void* pElement = static_cast<char*>(psa->pvData) + static_cast<size_t>(i) * psa->cbElements;
        HRESULT hr = SafeArrayPutElement(
            copy.parray, &nIndex, vtElement == VT_VARIANT ? pElement : *static_cast<void**>(pElement));
        if (FAILED(hr)) {
          SafeArrayDestroy(copy.parray);
          return hr;
        }
      }
    }
  } else if ((vt & VT_BYREF) == 0) {
    switch (vt) {
      case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R8: case VT_DATE:
      case VT_ERROR: case VT_BOOL: case VT_UI4: case VT_BSTR: case VT_UNKNOWN: case VT_DISPATCH:
        break;
      default:
        return DISP_E_BADVARTYPE;
    }
  }
  HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *pvargDest = copy;
  return S_OK;
}
