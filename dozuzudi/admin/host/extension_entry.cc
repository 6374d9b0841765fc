// The extension's lifecycle: the load-time work, GetExtensionVersion and
// TerminateExtension.
#include <initializer_list>

#include "admin/host/extension_exports.h"
#include "admin/host/request_queue.h"
#include "admin/host/settings.h"
#include "admin/messages/admin_error.h"
#include "admin/messages/keyword_tables.h"
#include "admin/metrics/extension_metrics.h"
#include "admin/trace/extension_trace.h"
#include "admin/xml/icu_trans.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1

namespace {
const char s_szDescription[] = "ISAPI Veltra Administration Extension";
}

BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID) {
  if (dwReason != DLL_PROCESS_ATTACH) return TRUE;
  TraceExtensionAttach();
  ReadSettings();
  return TRUE;
}

namespace {
// Runs the process-attach work when the library is loaded.
const BOOL s_fAttached = DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
}  // namespace

extern "C" BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* info) {
  if (info != nullptr) {
    info->dwExtensionVersion = 0x00070000;
    size_t i = 0;
    for (; i + 1 < sizeof(info->lpszExtensionDesc) && s_szDescription[i] != '\0'; ++i)
      info->lpszExtensionDesc[i] = s_szDescription[i];
    info->lpszExtensionDesc[i] = '\0';
  }
  RequestQueue& q = g_requestQueue;
  if (InterlockedExchange(&q.initialized, 1) == 1) return FALSE;

  InitializeCriticalSection(&q.lock);
  q.wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  // A start after a stop in the same process: the new workers stay.
  EnterCriticalSection(&q.lock);
  q.stopRequested = 0;
  LeaveCriticalSection(&q.lock);

  InitKeywordTables();
  // The answers a change can give are listed from the start.
  for (AdminError pwszId : {AdminError(nullptr), AdminError(ERR_ID_OLD_PASSWORD_INVALID),
                            AdminError(ERR_ID_NEW_PASSWORD_INVALID), AdminError(ERR_ID_OPERATION_FAILED),
                            AdminError(ERR_ID_ADMIN_ERR_OPERATION_FAILED), AdminError(ERR_ID_BAD_REQUEST)})
    DeclareAnswer(pwszId);
  int nError = 0;
  if (!CIcuTrans::Initialize(&nError, nullptr)) return FALSE;

  ReadSettings();
  return TRUE;
}

extern "C" BOOL WINAPI TerminateExtension(DWORD) {
  RequestQueue& q = g_requestQueue;
  // Written under the lock, where idle workers read it.
  EnterCriticalSection(&q.lock);
  q.stopRequested = 1;
  LeaveCriticalSection(&q.lock);

  while (ReadInterlocked(&q.workerCount) > 0) {
    SetEvent(q.wakeEvent);
    Sleep(200);
  }

  CIcuTrans::Terminate();
  if (q.wakeEvent != nullptr) {
    CloseHandle(q.wakeEvent);
    q.wakeEvent = nullptr;
  }
  if (InterlockedExchange(&q.initialized, 0) == 1) DeleteCriticalSection(&q.lock);
  return TRUE;
}
