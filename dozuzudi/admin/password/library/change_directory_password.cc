#include "admin/password/library/library_trace.h"
#include "admin/password/library/password_library.h"
#include "admin/password/library/translated_password.h"

namespace {

// IADsUser::ChangePassword takes BSTRs, whose length lies before the text: a
// password used as received is copied into one, held (and wiped) by its
// VARIANT like a translated one.
bool HoldAsBstr(LPCWSTR pwszPassword, VARIANT* pvar) {
  if (pvar->vt == VT_BSTR) return true;
  pvar->bstrVal = SysAllocString(pwszPassword);
  if (pvar->bstrVal == nullptr) return false;
  pvar->vt = VT_BSTR;
  return true;
}

}  // namespace

HRESULT ChangeDirectoryPassword(IADsUser* pUser, LPCWSTR pwszAccount, LPCWSTR pwszOld,
                                LPCWSTR pwszNew) {
  if (pUser == nullptr || pwszAccount == nullptr || pwszOld == nullptr || pwszNew == nullptr) {
    LibraryTrace(QTR_ERROR, kTraceDirectoryArgumentMissing);
    return E_ADS_BAD_PARAMETER;
  }
  // Directory users belong to no NT domain: the translator gets none.
  VARIANT varOld;
  VARIANT varNew;
  LPCWSTR pwszOldToSend = OfferPassword(pwszAccount, nullptr, pwszOld, &varOld);
  LPCWSTR pwszNewToSend = OfferPassword(pwszAccount, nullptr, pwszNew, &varNew);
  HRESULT hr = E_OUTOFMEMORY;
  if (HoldAsBstr(pwszOldToSend, &varOld) && HoldAsBstr(pwszNewToSend, &varNew))
    hr = pUser->ChangePassword(varOld.bstrVal, varNew.bstrVal);
  WipeAndClear(&varOld);
  WipeAndClear(&varNew);
  return hr;
}
