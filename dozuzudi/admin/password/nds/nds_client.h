// The NDS client library "netwin32.dll", loaded at first use: a
// process-wide table of its 21 functions, resolved by name.
#pragma once

#include "platform/base/wintypes.h"
#include "platform/netwin32/netwin32.h"

// The library's functions in the order of its exports; the extension only
// calls them through this table, never links them.
struct NdsClient {
  decltype(&NWDSCreateContextHandle) pfnCreateContextHandle;
  decltype(&NWDSSetContext) pfnSetContext;
  decltype(&NWDSLogin) pfnLogin;
  decltype(&NWDSChangeObjectPassword) pfnChangeObjectPassword;
  decltype(&NWDSAllocBuf) pfnAllocBuf;
  decltype(&NWDSInitBuf) pfnInitBuf;
  decltype(&NWDSAllocFilter) pfnAllocFilter;
  decltype(&NWDSAddFilterToken) pfnAddFilterToken;
  decltype(&NWDSGetSyntaxID) pfnGetSyntaxID;
  decltype(&NWDSPutFilter) pfnPutFilter;
  decltype(&NWDSPutAttrName) pfnPutAttrName;
  decltype(&NWDSSearch) pfnSearch;
  decltype(&NWDSGetObjectCount) pfnGetObjectCount;
  decltype(&NWDSGetObjectName) pfnGetObjectName;
  decltype(&NWDSGetAttrName) pfnGetAttrName;
  decltype(&NWDSComputeAttrValSize) pfnComputeAttrValSize;
  decltype(&NWDSGetAttrVal) pfnGetAttrVal;
  decltype(&NWDSLogout) pfnLogout;
  decltype(&NWDSFreeContext) pfnFreeContext;
  decltype(&NWDSFreeBuf) pfnFreeBuf;
  decltype(&NWDSFreeFilter) pfnFreeFilter;
};

// The table, valid once LoadNdsClient has returned 1.
extern NdsClient g_ndsClient;

// 1 when the table is loaded (now or earlier), 0 when the library or any of
// its exports is missing; a failed load is tried again at the next call.
int LoadNdsClient();
