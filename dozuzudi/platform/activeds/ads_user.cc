#include "platform/activeds/ads_user.h"

#include "platform/activeds/ads_last_error.h"

HRESULT STDMETHODCALLTYPE CAdsUser::ChangePassword(BSTR bstrOldPassword, BSTR bstrNewPassword) {
  std::string sOld = platform::ToUtf8(std::u16string_view(bstrOldPassword, SysStringLen(bstrOldPassword)));
  std::string sNew = platform::ToUtf8(std::u16string_view(bstrNewPassword, SysStringLen(bstrNewPassword)));
  HRESULT hr = m_pSession->IsActiveDirectory()
                   ? ChangeActiveDirectoryPassword(m_pSession, m_sDn, sOld, sNew)
                   : ChangePolicyPassword(m_pSession, m_sDn, sOld, sNew);
  platform::WipeString(&sOld);
  platform::WipeString(&sNew);
  return hr;
}
