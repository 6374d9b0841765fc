// One-dimensional safe arrays of VARIANT, BSTR and interface pointers.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/com/com.h"

namespace {

// As on Windows, the element type sits in the four bytes before the array.
struct CSafeArrayBlock {
  DWORD vt;
  SAFEARRAY sa;
};

CSafeArrayBlock* BlockOf(SAFEARRAY* psa) {
  return reinterpret_cast<CSafeArrayBlock*>(reinterpret_cast<char*>(psa) -
                                            offsetof(CSafeArrayBlock, sa));
}

VARTYPE TypeOf(SAFEARRAY* psa) { return static_cast<VARTYPE>(BlockOf(psa)->vt); }

// The element's slot, or null when the index is outside the bounds.
void* Slot(SAFEARRAY* psa, const LONG* rgIndices) {
  if (psa == nullptr || rgIndices == nullptr) return nullptr;
  LONG nOffset = rgIndices[0] - psa->rgsabound[0].lLbound;
  if (nOffset < 0 || static_cast<ULONG>(nOffset) >= psa->rgsabound[0].cElements) return nullptr;
  return static_cast<char*>(psa->pvData) + static_cast<size_t>(nOffset) * psa->cbElements;
}

void FreeElement(VARTYPE vt, void* pSlot) {
  if (vt == VT_VARIANT) {
    VariantClear(static_cast<VARIANT*>(pSlot));
  } else if (vt == VT_BSTR) {
    SysFreeString(*static_cast<BSTR*>(pSlot));
  } else if (*static_cast<IUnknown**>(pSlot) != nullptr) {
    (*static_cast<IUnknown**>(pSlot))->Release();
  }
}

// A copy of what pv stands for, written into the zeroed or freed slot.
HRESULT CopyElement(VARTYPE vt, void* pSlot, void* pv) {
  if (vt == VT_VARIANT) {
    VariantInit(static_cast<VARIANT*>(pSlot));
    return VariantCopy(static_cast<VARIANT*>(pSlot), static_cast<const VARIANT*>(pv));
  }
  if (vt == VT_BSTR) {
    BSTR bstr = static_cast<BSTR>(pv);
    BSTR bstrCopy = nullptr;
    if (bstr != nullptr && (bstrCopy = SysAllocStringLen(bstr, SysStringLen(bstr))) == nullptr)
      return E_OUTOFMEMORY;
    *static_cast<BSTR*>(pSlot) = bstrCopy;
    return S_OK;
  }
  auto* punk = static_cast<IUnknown*>(pv);
  if (punk != nullptr) punk->AddRef();
  *static_cast<IUnknown**>(pSlot) = punk;
  return S_OK;
}

}  // namespace

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  USHORT fFeatures = 0;
  ULONG cbElement = sizeof(void*);
  switch (vt) {
    case VT_VARIANT: fFeatures = FADF_VARIANT; cbElement = sizeof(VARIANT); break;
    case VT_BSTR: fFeatures = FADF_BSTR; break;
    case VT_UNKNOWN: fFeatures = FADF_UNKNOWN; break;
    case VT_DISPATCH: fFeatures = FADF_DISPATCH; break;
    default: return nullptr;
  }
  auto* pBlock = new (std::nothrow) CSafeArrayBlock();
  if (pBlock == nullptr) return nullptr;
  // Zeroed elements are VT_EMPTY variants and null strings or pointers.
  pBlock->sa.pvData = std::calloc(cElements == 0 ? 1 : cElements, cbElement);
  if (pBlock->sa.pvData == nullptr) {
    delete pBlock;
    return nullptr;
  }
  pBlock->vt = vt;
  pBlock->sa.cDims = 1;
  pBlock->sa.fFeatures = static_cast<USHORT>(fFeatures | FADF_HAVEVARTYPE);
  pBlock->sa.cbElements = cbElement;
  pBlock->sa.rgsabound[0] = {cElements, lLbound};
  return &pBlock->sa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (psa == nullptr) return S_OK;
  if (psa->cLocks != 0) return DISP_E_ARRAYISLOCKED;
  VARTYPE vt = TypeOf(psa);
  for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i)
    FreeElement(vt, static_cast<char*>(psa->pvData) + static_cast<size_t>(i) * psa->cbElements);
  std::free(psa->pvData);
  delete BlockOf(psa);
  return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (psa == nullptr || pvt == nullptr) return E_INVALIDARG;
  *pvt = TypeOf(psa);
  return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa == nullptr ? 0 : psa->cDims; }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (psa == nullptr || plLbound == nullptr) return E_INVALIDARG;
  if (nDim != 1) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (psa == nullptr || plUbound == nullptr) return E_INVALIDARG;
  if (nDim != 1) return DISP_E_BADINDEX;
  *plUbound = psa->rgsabound[0].lLbound + static_cast<LONG>(psa->rgsabound[0].cElements) - 1;
  return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  void* pSlot = Slot(psa, rgIndices);
  if (pSlot == nullptr) return psa == nullptr ? E_INVALIDARG : DISP_E_BADINDEX;
  VARTYPE vt = TypeOf(psa);
  if (vt == VT_VARIANT && pv == nullptr) return E_INVALIDARG;
  // Copied aside first so that a failed copy leaves the slot as it was.
  alignas(VARIANT) unsigned char rgbCopy[sizeof(VARIANT)] = {};
  HRESULT hr = CopyElement(vt, rgbCopy, pv);
  if (FAILED(hr)) return hr;
  FreeElement(vt, pSlot);
  std::memcpy(pSlot, rgbCopy, psa->cbElements);
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  void* pSlot = Slot(psa, rgIndices);
  if (pSlot == nullptr) return psa == nullptr ? E_INVALIDARG : DISP_E_BADINDEX;
  if (pv == nullptr) return E_INVALIDARG;
  VARTYPE vt = TypeOf(psa);
  if (vt == VT_VARIANT) return CopyElement(vt, pv, pSlot);
  void* pElement = *static_cast<void**>(pSlot);
  return CopyElement(vt, pv, pElement);
}
