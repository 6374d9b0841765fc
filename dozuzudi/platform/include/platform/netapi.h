// Network management functions and the domain-controller locator.
//
// NetUserChangePassword changes a user's password in an NT domain through
// the provider configured for that domain. With no provider for the domain,
// it answers as a server that reaches no domain controller would:
// ERROR_NO_SUCH_DOMAIN. Statuses the callers rely on: 0 success, 86 wrong old
// password, 2244 (history), 2245 (length, complexity), 2246 (too soon).
//
// DsGetDcNameW answers with the server's own domain when one is configured
// (directory_settings.h), else ERROR_NO_SUCH_DOMAIN; a DomainName other than
// that domain is ERROR_NO_SUCH_DOMAIN too. DomainName and DnsForestName are
// the domain's DNS name; the controller is the host of the first configured
// server. One block: NetApiBufferFree releases it with its strings.
#pragma once

#include "platform/wintypes.h"

NET_API_STATUS NetUserChangePassword(LPCWSTR domainname, LPCWSTR username, LPCWSTR oldpassword,
                                     LPCWSTR newpassword);
NET_API_STATUS NetApiBufferFree(LPVOID Buffer);

#define DS_DIRECTORY_SERVICE_REQUIRED 0x00000010
#define DS_RETURN_DNS_NAME 0x40000000

struct DOMAIN_CONTROLLER_INFOW {
  LPWSTR DomainControllerName;
  LPWSTR DomainControllerAddress;
  ULONG DomainControllerAddressType;
  GUID DomainGuid;
  LPWSTR DomainName;
  LPWSTR DnsForestName;
  ULONG Flags;
  LPWSTR DcSiteName;
  LPWSTR ClientSiteName;
};
typedef DOMAIN_CONTROLLER_INFOW* PDOMAIN_CONTROLLER_INFOW;

DWORD DsGetDcNameW(LPCWSTR ComputerName, LPCWSTR DomainName, GUID* DomainGuid, LPCWSTR SiteName,
                   ULONG Flags, PDOMAIN_CONTROLLER_INFOW* DomainControllerInfo);
