// The NDS client library "netwin32.dll", loaded at first use: a
// process-wide table of its 21 functions, resolved by name.
#pragma once

#include "platform/base/wintypes.h"

typedef uint32_t NWDSContextHandle;
typedef int32_t NWDSCCODE;

#define DCK_NAME_CONTEXT 3
#define DCK_TREE_NAME 11

#define NDS_ERR_FAILED_AUTHENTICATION (-669)
#define NDS_ERR_NO_SUCH_ENTRY (-601)
#define NDS_ERR_PASSWORD_EXPIRED (-223)
#define NDS_ERR_BAD_PASSWORD (-222)
#define NDS_ERR_PASSWORD_TOO_SHORT (-216)
#define NDS_ERR_DUPLICATE_PASSWORD (-215)
#define NDS_ERR_PASSWORD_EXPIRED_GRACE 34960

struct NdsClient {
  NWDSCCODE (*pfnCreateContextHandle)(NWDSContextHandle* pContext);
  NWDSCCODE (*pfnSetContext)(NWDSContextHandle context, int nKey, const void* pvValue);
  NWDSCCODE (*pfnLogin)(NWDSContextHandle context, uint32_t dwOptions, const char* pszUser,
                        const char* pszPassword, uint32_t dwValidity);
  NWDSCCODE (*pfnChangeObjectPassword)(NWDSContextHandle context, uint32_t dwOption,
                                       const char* pszObject, const char* pszOld,
                                       const char* pszNew);
  FARPROC pfnAllocBuf;
  FARPROC pfnInitBuf;
  FARPROC pfnAllocFilter;
  FARPROC pfnAddFilterToken;
  FARPROC pfnGetSyntaxID;
  FARPROC pfnPutFilter;
  FARPROC pfnPutAttrName;
  FARPROC pfnSearch;
  FARPROC pfnGetObjectCount;
  FARPROC pfnGetObjectName;
  FARPROC pfnGetAttrName;
  FARPROC pfnComputeAttrValSize;
  FARPROC pfnGetAttrVal;
  NWDSCCODE (*pfnLogout)(NWDSContextHandle context);
  NWDSCCODE (*pfnFreeContext)(NWDSContextHandle context);
  FARPROC pfnFreeBuf;
  FARPROC pfnFreeFilter;
};

// The table, valid once LoadNdsClient has returned 1.
extern NdsClient g_ndsClient;

// 1 when the table is loaded (now or earlier), 0 when the library or any of
// its exports is missing; a failed load is tried again at the next call.
int LoadNdsClient();
