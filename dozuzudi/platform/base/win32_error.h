// Win32 error codes for POSIX errno values.
#pragma once

#include <string>

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

namespace platform {
// The Win32 code for |err|. For ENOENT with a |path|, ERROR_PATH_NOT_FOUND
// when the path's directory is missing too, else ERROR_FILE_NOT_FOUND.
// EEXIST gives ERROR_FILE_EXISTS (callers that create directories use
// ERROR_ALREADY_EXISTS). Unknown values give ERROR_GEN_FAILURE (31).
DWORD Win32ErrorFromErrno(int err, const std::string& path = {});

// SetLastError(Win32ErrorFromErrno(errno, path)).
void SetLastErrorFromErrno(const std::string& path = {});
}  // namespace platform
VLT_API_END
