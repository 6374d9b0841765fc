// A directory user object that records the passwords ChangePassword gets.
#pragma once

#include <string>

#include "stub_ads_user.h"

class CFakeAdsUser final : public CStubAdsUser {
 public:
  explicit CFakeAdsUser(HRESULT hrChange = S_OK) : m_hrChange(hrChange) {}

  HRESULT STDMETHODCALLTYPE ChangePassword(BSTR bstrOld, BSTR bstrNew) override {
    ++m_nChanges;
    // The length before the text must agree with the terminated text.
    m_fBstrLengthsRight = SysStringLen(bstrOld) == std::u16string(bstrOld).size() &&
                          SysStringLen(bstrNew) == std::u16string(bstrNew).size();
    m_sOld = bstrOld;
    m_sNew = bstrNew;
    return m_hrChange;
  }

  HRESULT m_hrChange;
  int m_nChanges = 0;
  bool m_fBstrLengthsRight = false;
  std::u16string m_sOld;
  std::u16string m_sNew;
};
