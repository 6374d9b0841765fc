#include "admin/password/nds/nds_password.h"

#include "admin/password/nds/nds_client.h"

AdminError ChangeNdsPassword(const char* pszUser, const char* pszTree, const char* pszOld,
                             const char* pszNew) {
  if (LoadNdsClient() != 1) return ERR_ID_OPERATION_FAILED;
  const NdsClient& client = g_ndsClient;
  NWDSContextHandle context = 0;
  client.pfnCreateContextHandle(&context);

  AdminError pwszResult = ERR_ID_OPERATION_FAILED;
  if (client.pfnSetContext(context, DCK_TREE_NAME, pszTree) == 0) {
    NWDSCCODE nCode = client.pfnLogin(context, 0, pszUser, pszOld, 0);
    if (nCode == NDS_ERR_FAILED_AUTHENTICATION) {
      pwszResult = ERR_ID_OLD_PASSWORD_INVALID;
    } else if (nCode == 0 || nCode == NDS_ERR_PASSWORD_EXPIRED ||
               nCode == NDS_ERR_PASSWORD_EXPIRED_GRACE) {
      nCode = client.pfnChangeObjectPassword(context, 1, pszUser, pszOld, pszNew);
      if (nCode == 0)
        pwszResult = nullptr;
      else if (nCode == NDS_ERR_FAILED_AUTHENTICATION)
        pwszResult = ERR_ID_OLD_PASSWORD_INVALID;
      else if (nCode == NDS_ERR_PASSWORD_TOO_SHORT || nCode == NDS_ERR_DUPLICATE_PASSWORD)
        pwszResult = ERR_ID_NEW_PASSWORD_INVALID;
    }
  }
  client.pfnLogout(context);
  client.pfnFreeContext(context);
  return pwszResult;
}
