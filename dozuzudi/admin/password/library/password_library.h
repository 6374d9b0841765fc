// The password library: password changes in NT domains and directories.
#pragma once

#include "platform/wintypes.h"

// Changes a user's password in an NT domain (the empty domain is this
// machine). 87 when an argument is missing or the domain is a server name
// in UNC form ("\\server"), without calling the platform; otherwise the
// status of NetUserChangePassword.
NET_API_STATUS ChangeDomainPassword(LPCWSTR pwszDomain, LPCWSTR pwszUser, LPCWSTR pwszOld,
                                    LPCWSTR pwszNew);
