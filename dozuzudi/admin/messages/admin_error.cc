#include "admin/messages/admin_error.h"

const WCHAR ERR_ID_BAD_REQUEST[] = u"bad-request";
const WCHAR ERR_ID_OLD_PASSWORD_INVALID[] = u"old-password-invalid";
const WCHAR ERR_ID_NEW_PASSWORD_INVALID[] = u"new-password-invalid";
const WCHAR ERR_ID_OPERATION_FAILED[] = u"operation-failed";
const WCHAR ERR_ID_ADMIN_ERR_OPERATION_FAILED[] = u"ADMIN_ERR_OPERATION_FAILED";
const WCHAR ERR_ID_NO_PERMISSION[] = u"no-permission";
const WCHAR ERR_ID_NOT_FOUND[] = u"not-found";
const WCHAR ERR_ID_UNSPECIFIED[] = u"unspecified";
const WCHAR ERR_ID_NDS_ERROR[] = u"nds-error";
const WCHAR ERR_ID_NDS_LOGIN_FAILED[] = u"nds-login-failed";
