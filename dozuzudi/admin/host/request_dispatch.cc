#include "admin/host/request_dispatch.h"

// No protocol handler is built in yet: every document is refused.
DWORD DispatchRequest(EXTENSION_CONTROL_BLOCK*, BYTE*, DWORD) { return DISPATCH_REFUSED; }
