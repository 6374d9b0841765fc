#include "admin/password/library/translated_password.h"

#include "admin/password/library/password_library.h"
#include "platform/base/heap.h"

LPCWSTR OfferPassword(LPCWSTR pwszUser, LPCWSTR pwszDomain, LPCWSTR pwszPassword, VARIANT* pvar) {
  VariantInit(pvar);
  if (TranslatePassword(pwszUser, pwszDomain, pwszPassword, pvar)) return pvar->bstrVal;
  return pwszPassword;
}

void WipeAndClear(VARIANT* pvar) {
  if (pvar->vt == VT_BSTR && pvar->bstrVal != nullptr)
    SecureZeroMemory(pvar->bstrVal, SysStringLen(pvar->bstrVal) * sizeof(OLECHAR));
  VariantClear(pvar);
}
