// The extended error of the calling thread's last directory call, as
// ADsGetLastError reports it.
#pragma once

#include <string>

#include "platform/base/wintypes.h"

void SetAdsLastError(DWORD dwCode, const std::string& sText);
void ClearAdsLastError();
