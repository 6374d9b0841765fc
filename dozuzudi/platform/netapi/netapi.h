// platform/netapi: network management (netapi32): NetUserChangePassword
// through a provider per NT domain, NetApiBufferFree, and the
// domain-controller locator DsGetDcNameW.
//
// Backed by: local/, the embedded account store (SQLite, yescrypt hashes
// from libcrypt; local/account_store.h); kerberos/, the Kerberos
// password-change protocol (MIT libkrb5) against the domain's KDC; the
// server's directory settings (platform/ldap) for DsGetDcNameW.
// Threads: any number of threads may change passwords at once, the same
// user's included; each change is applied whole or not at all.
// Failures: the NET_API_STATUS or Win32 codes listed below; never an
// exception.
// Our choices: the registry names the provider of each domain and is read
// at every call; an unknown domain answers ERROR_NO_SUCH_DOMAIN, as a server
// that finds no domain controller would.
//
// NetUserChangePassword changes a user's password in an NT domain through the
// provider that the registry names for that domain. The registry is read at
// every call, so edits take effect on the next change:
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Veltra\Accounts\Domains\<DOMAIN>]
//   "Provider"="local"       the embedded account store (account_store.h)
//   "Store"="/path/accounts.db"     the store's SQLite file; it must exist
//
//   "Provider"="kerberos"    the Kerberos password-change protocol (RFC 3244)
//   "Realm"="EXAMPLE.TEST"   the realm; absent: the default realm of the
//                            system's Kerberos configuration
//   "Kdc"="127.0.0.1:88"     optional; when given, the change uses a private
//                            in-memory configuration (no DNS, TCP first) and
//                            never reads /etc/krb5.conf or KRB5_CONFIG
//   "KpasswdServer"="host[:port]"   optional, with Kdc; default: the Kdc's
//                            host on port 464
//
// <DOMAIN> compares without regard to case. The empty domain (and ".") means
// this machine: the key Domains\. ; a domain containing a backslash matches
// no key. A domain without a key, or a key with an unknown or missing
// Provider, answers ERROR_NO_SUCH_DOMAIN, as a server that finds no domain
// controller would.
//
// Statuses:
//   0                               the password was changed
//   ERROR_INVALID_PASSWORD (86)     the old password is wrong
//   NERR_PasswordHistConflict (2244) the new password was used before
//   NERR_PasswordTooShort (2245)    too short, not complex, or another policy
//                                   refusal of the new password
//   NERR_PasswordTooRecent (2246)   the password was changed too recently
//   NERR_UserNotFound (2221)        no such user
//   ERROR_ACCOUNT_LOCKED_OUT (1909) the account is locked
//   ERROR_NO_SUCH_DOMAIN (1355)     no provider, store missing, KDC or
//                                   password server unreachable, unknown realm
//   ERROR_INVALID_PARAMETER (87)    a null user or password
//   ERROR_INTERNAL_ERROR (1359)     the store or the protocol failed otherwise
// The old password is checked before any policy, so a wrong old password
// never reveals the policy. Passwords are wiped from every buffer the call
// made; nothing traces or prints them.
//
// DsGetDcNameW answers with the server's own domain when one is configured
// (directory_settings.h), else ERROR_NO_SUCH_DOMAIN; a DomainName other than
// that domain is ERROR_NO_SUCH_DOMAIN too. DomainName and DnsForestName are
// the domain's DNS name; the controller is the host of the first configured
// server. One block: NetApiBufferFree releases it with its strings.
#pragma once

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

#ifndef NERR_UserNotFound
#define NERR_UserNotFound 2221
#endif
#ifndef NERR_UserExists
#define NERR_UserExists 2224
#endif
#ifndef ERROR_ACCOUNT_LOCKED_OUT
#define ERROR_ACCOUNT_LOCKED_OUT 1909L
#endif
#ifndef ERROR_INTERNAL_ERROR
#define ERROR_INTERNAL_ERROR 1359L
#endif

NET_API_STATUS NetUserChangePassword(LPCWSTR domainname, LPCWSTR username, LPCWSTR oldpassword,
                                     LPCWSTR newpassword);
NET_API_STATUS NetApiBufferFree(LPVOID Buffer);

namespace platform {
// The kind of provider the registry names for the domain, read as
// NetUserChangePassword reads it: "local", "kerberos", or null when it names
// none. For statistics; it never touches the provider itself.
const char* DomainProviderName(LPCWSTR pwszDomain);
}  // namespace platform

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
VLT_API_END
