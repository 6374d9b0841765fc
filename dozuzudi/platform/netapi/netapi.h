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
//   "Timeout"=dword:5        either provider: seconds a change waits for its
//                            back end (a store another writer holds, a KDC
//                            or password server that does not answer)
//                            before it fails; default 5
//
// A store that is missing, not a store, unreadable, read-only or locked
// beyond the timeout fails the change; each such cause is reported once on
// standard error with the domain, the store's path and the error, and again
// only after the store has served a change.
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
//                                   password server unreachable or silent
//                                   beyond the timeout, unknown realm
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

// Group members, through the same per-domain providers.
//
// A server name ("\\NAME" or "NAME") names a domain: each domain's provider
// is its own controller. A null or empty server is this machine (the key
// Domains\.). A name with no provider: NERR_InvalidComputer.
//
// NetLocalGroupGetMembers (levels 2 and 3): the members of a local group.
//   local store: the store's local groups; a member of the store itself is
//     "<server name>\<account>", one of another domain as it was added.
//     Usage SidTypeUser or SidTypeGroup; lgrmi2_sid is always null (the
//     stores keep no security identifiers).
//   kerberos: the domain's directory, when the configured directory
//     (directory_settings.h) is that domain (its DNS name is the realm, or
//     its first label the domain's name): domain-local groups (groupType
//     with bit 0x4, the built-in ones included); members are
//     "<NETBIOS>\<sAMAccountName>", users SidTypeUser, groups SidTypeGroup,
//     computers skipped. Without that directory: NERR_GroupNotFound.
//   A group that is not a local group there: NERR_GroupNotFound.
// NetGroupGetUsers (level 0): the user members of a domain group, by
//   account name: the store's domain groups, or the directory's global and
//   universal groups (members and the users whose primary group it is;
//   computers left out). NERR_GroupNotFound otherwise.
// NetServerEnum (levels 100 and 101): with SV_TYPE_DOMAIN_CTRL or
//   SV_TYPE_DOMAIN_BAKCTRL in servertype and a domain that has a provider,
//   one entry, the controller, named as the domain is; no entry (and
//   ERROR_NO_BROWSER_SERVERS_FOUND) otherwise. A null domain is this
//   machine's.
// Statuses of the three: 0; ERROR_MORE_DATA when prefmaxlen cut the list
// (call again with *resumehandle); ERROR_INVALID_LEVEL; ERROR_INVALID_PARAMETER
// for null outputs or a null group; ERROR_ACCESS_DENIED when the directory
// refuses to read the group; ERROR_LOGON_FAILURE when the service's identity
// cannot bind; RPC_S_SERVER_UNAVAILABLE when no server answers;
// ERROR_NO_SUCH_DOMAIN for a store that cannot be opened. The buffer is one
// block for NetApiBufferFree; it is null when nothing was returned.
#define MAX_PREFERRED_LENGTH (static_cast<DWORD>(-1))
#define ERROR_INVALID_LEVEL 124L
#define ERROR_NO_BROWSER_SERVERS_FOUND 6118L
#define NERR_GroupExists 2223
#define NERR_UserInGroup 2236
#define NERR_UserNotInGroup 2237
#define ERROR_MEMBER_NOT_IN_ALIAS 1377L
#define ERROR_MEMBER_IN_ALIAS 1378L
#define ERROR_INVALID_MEMBER 1388L
#define SV_TYPE_SERVER 0x00000002
#define SV_TYPE_DOMAIN_CTRL 0x00000008
#define SV_TYPE_DOMAIN_BAKCTRL 0x00000010
#define SV_TYPE_SERVER_NT 0x00008000
#define SV_TYPE_ALL 0xFFFFFFFF
#define PLATFORM_ID_NT 500

typedef void* PSID;
enum SID_NAME_USE {
  SidTypeUser = 1,
  SidTypeGroup,
  SidTypeDomain,
  SidTypeAlias,
  SidTypeWellKnownGroup,
  SidTypeDeletedAccount,
  SidTypeInvalid,
  SidTypeUnknown,
  SidTypeComputer,
};

struct LOCALGROUP_MEMBERS_INFO_2 {
  PSID lgrmi2_sid;
  SID_NAME_USE lgrmi2_sidusage;
  LPWSTR lgrmi2_domainandname;
};
struct LOCALGROUP_MEMBERS_INFO_3 {
  LPWSTR lgrmi3_domainandname;
};
struct GROUP_USERS_INFO_0 {
  LPWSTR grui0_name;
};
struct SERVER_INFO_100 {
  DWORD sv100_platform_id;
  LPWSTR sv100_name;
};
struct SERVER_INFO_101 {
  DWORD sv101_platform_id;
  LPWSTR sv101_name;
  DWORD sv101_version_major;
  DWORD sv101_version_minor;
  DWORD sv101_type;
  LPWSTR sv101_comment;
};

NET_API_STATUS NetLocalGroupGetMembers(LPCWSTR servername, LPCWSTR localgroupname, DWORD level,
                                       LPBYTE* bufptr, DWORD prefmaxlen, LPDWORD entriesread,
                                       LPDWORD totalentries, PDWORD_PTR resumehandle);
NET_API_STATUS NetGroupGetUsers(LPCWSTR servername, LPCWSTR groupname, DWORD level, LPBYTE* bufptr,
                                DWORD prefmaxlen, LPDWORD entriesread, LPDWORD totalentries,
                                PDWORD_PTR ResumeHandle);
NET_API_STATUS NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                             LPDWORD entriesread, LPDWORD totalentries, DWORD servertype,
                             LPCWSTR domain, LPDWORD resume_handle);

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
