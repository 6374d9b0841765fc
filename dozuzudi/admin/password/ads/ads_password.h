// The directory back end: password changes of users of the server's own
// directory domain, given by user principal name.
#pragma once

#include "admin/messages/admin_error.h"

AdminError ChangeAdsPassword(LPCWSTR pwszUpn, LPCWSTR pwszOld, LPCWSTR pwszNew);
