// VARIANT initialisation and clearing.
#include "platform/com.h"

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
        return DISP_E_BADVARTYPE;
    }
  } else if ((vt & VT_ARRAY) != 0) {
    return DISP_E_BADVARTYPE;
  }
  pvarg->vt = VT_EMPTY;
  return S_OK;
}
