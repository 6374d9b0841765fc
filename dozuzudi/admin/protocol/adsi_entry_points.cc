#include "admin/protocol/adsi_entry_points.h"

#include "platform/base/module.h"

bool ResolveAdsiEntryPoints(HMODULE hModule, AdsiEntryPoints* pEntryPoints) {
  pEntryPoints->pfnADsGetObject =
      reinterpret_cast<PFN_ADSGETOBJECT>(GetProcAddress(hModule, "ADsGetObject"));
  pEntryPoints->pfnADsBuildVarArrayStr =
      reinterpret_cast<PFN_ADSBUILDVARARRAYSTR>(GetProcAddress(hModule, "ADsBuildVarArrayStr"));
  return pEntryPoints->pfnADsGetObject != nullptr && pEntryPoints->pfnADsBuildVarArrayStr != nullptr;
}
