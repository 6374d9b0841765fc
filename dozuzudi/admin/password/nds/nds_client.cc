#include "admin/password/nds/nds_client.h"

#include "platform/base/module.h"
#include "platform/base/sync.h"

NdsClient g_ndsClient;

namespace {

// The exports in the order of the table's fields.
const char* const s_rgNdsExports[] = {
    "NWDSCreateContextHandle", "NWDSSetContext",     "NWDSLogin",
    "NWDSChangeObjectPassword", "NWDSAllocBuf",      "NWDSInitBuf",
    "NWDSAllocFilter",          "NWDSAddFilterToken", "NWDSGetSyntaxID",
    "NWDSPutFilter",            "NWDSPutAttrName",   "NWDSSearch",
    "NWDSGetObjectCount",       "NWDSGetObjectName", "NWDSGetAttrName",
    "NWDSComputeAttrValSize",   "NWDSGetAttrVal",    "NWDSLogout",
    "NWDSFreeContext",          "NWDSFreeBuf",       "NWDSFreeFilter",
};
static_assert(sizeof(s_rgNdsExports) / sizeof(s_rgNdsExports[0]) ==
              sizeof(NdsClient) / sizeof(FARPROC));

// Set, with release ordering, only after the whole table is stored.
volatile LONG s_fNdsClientLoaded = 0;
// Serialises first loads so that no thread reads a table another is writing.
CRITICAL_SECTION s_ndsLoadLock;

}  // namespace

int LoadNdsClient() {
  if (InterlockedCompareExchange(&s_fNdsClientLoaded, 0, 0) != 0) return 1;
  EnterCriticalSection(&s_ndsLoadLock);
  int nResult = 1;
  if (InterlockedCompareExchange(&s_fNdsClientLoaded, 0, 0) == 0) {
    // The library stays loaded for the life of the process once complete.
    HMODULE hModule = LoadLibraryW(u"netwin32.dll");
    FARPROC rgpfn[sizeof(s_rgNdsExports) / sizeof(s_rgNdsExports[0])];
    if (hModule == nullptr) {
      nResult = 0;
    } else {
      for (size_t i = 0; i < sizeof(rgpfn) / sizeof(rgpfn[0]) && nResult == 1; ++i) {
        rgpfn[i] = GetProcAddress(hModule, s_rgNdsExports[i]);
        if (rgpfn[i] == nullptr) nResult = 0;
      }
      if (nResult == 1) {
        static_assert(sizeof(rgpfn) == sizeof(g_ndsClient));
        __builtin_memcpy(&g_ndsClient, rgpfn, sizeof(rgpfn));
        InterlockedExchange(&s_fNdsClientLoaded, 1);
      } else {
        FreeLibrary(hModule);
      }
    }
  }
  LeaveCriticalSection(&s_ndsLoadLock);
  return nResult;
}
