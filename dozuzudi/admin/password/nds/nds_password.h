// The NDS back end: password changes in an NDS tree through the client
// library, as the user with the old password.
#pragma once

#include "admin/messages/admin_error.h"

AdminError ChangeNdsPassword(const char* pszUser, const char* pszTree, const char* pszOld,
                             const char* pszNew);
