// User objects: IADsUser over a directory entry.
#pragma once

#include "platform/activeds/ads_object.h"
#include "platform/activeds/ads_user_defaults.h"

class CAdsUser : public CAdsObject<CAdsUserDefaults> {
 public:
  CAdsUser(CDirectorySession* pSession, std::string sDn)
      : CAdsObject(pSession, std::move(sDn), "user", IID_IADsUser) {}

  // Changes the password from the old to the new value: on Active Directory
  // one modify of unicodePwd (delete old, add new), elsewhere a bind as the
  // user and the password modify operation with the password-policy control.
  HRESULT STDMETHODCALLTYPE ChangePassword(BSTR bstrOldPassword, BSTR bstrNewPassword) override;
};

// The password changes on each kind of directory; the passwords are UTF-8.
HRESULT ChangeActiveDirectoryPassword(CDirectorySession* pSession, const std::string& sDn,
                                      const std::string& sOld, const std::string& sNew);
HRESULT ChangePolicyPassword(CDirectorySession* pSession, const std::string& sDn,
                             const std::string& sOld, const std::string& sNew);
