#include "admin/password/ads_password.h"

#include "platform/netapi.h"

AdminError ChangeAdsPassword(LPCWSTR, LPCWSTR, LPCWSTR) {
  // Without a domain controller of the server's own domain no directory
  // change is possible.
  PDOMAIN_CONTROLLER_INFOW pInfo = nullptr;
  DWORD dwResult = DsGetDcNameW(nullptr, nullptr, nullptr, nullptr,
                                DS_DIRECTORY_SERVICE_REQUIRED | DS_RETURN_DNS_NAME, &pInfo);
  if (pInfo != nullptr) NetApiBufferFree(pInfo);
  (void)dwResult;
  // The directory client (name translation, user objects) is not present on
  // this server, so every change fails.
  return ERR_ID_OPERATION_FAILED;
}
