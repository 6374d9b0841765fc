#include "platform/activeds/ads_user.h"

#include "platform/activeds/ads_last_error.h"
#include "platform/text/secret_text.h"

HRESULT STDMETHODCALLTYPE CAdsUser::ChangePassword(BSTR bstrOldPassword, BSTR bstrNewPassword) {
  // Converted at their exact size: a growing string would leave copies behind.
  platform::CSecretUtf8 old(bstrOldPassword, SysStringLen(bstrOldPassword));
  platform::CSecretUtf8 fresh(bstrNewPassword, SysStringLen(bstrNewPassword));
  std::string sOld(old.Text(), old.Size());
  std::string sNew(fresh.Text(), fresh.Size());
  HRESULT hr = m_pSession->IsActiveDirectory()
                   ? ChangeActiveDirectoryPassword(m_pSession, m_sDn, sOld, sNew)
                   : ChangePolicyPassword(m_pSession, m_sDn, sOld, sNew);
  platform::WipeString(&sOld);
  platform::WipeString(&sNew);
  return hr;
}
