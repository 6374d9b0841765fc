// The protocol's error ids: constant texts sent as an ErrorId element.
// A back end answers with one of them, or with null for success.
#pragma once

#include "platform/base/wintypes.h"

typedef const WCHAR* AdminError;

extern const WCHAR ERR_ID_BAD_REQUEST[];           // "bad-request"
extern const WCHAR ERR_ID_OLD_PASSWORD_INVALID[];  // "old-password-invalid"
extern const WCHAR ERR_ID_NEW_PASSWORD_INVALID[];  // "new-password-invalid"
extern const WCHAR ERR_ID_OPERATION_FAILED[];   // "operation-failed"
extern const WCHAR ERR_ID_ADMIN_ERR_OPERATION_FAILED[];      // "ADMIN_ERR_OPERATION_FAILED"
extern const WCHAR ERR_ID_NO_PERMISSION[];         // "no-permission"
extern const WCHAR ERR_ID_NOT_FOUND[];             // "not-found"
extern const WCHAR ERR_ID_UNSPECIFIED[];           // "unspecified"
extern const WCHAR ERR_ID_NDS_ERROR[];             // "nds-error"
extern const WCHAR ERR_ID_NDS_LOGIN_FAILED[];      // "nds-login-failed"
