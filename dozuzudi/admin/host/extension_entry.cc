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
#include "platform/registry/registry.h"

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
  for (CWorkerSlot& slot : q.slots) slot.wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  q.processorCount = static_cast<LONG>(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS));
  // A start after a stop in the same process: the new workers stay.
  EnterCriticalSection(&q.lock);
  q.stopRequested = 0;
  LeaveCriticalSection(&q.lock);

  // A start (also a reload) reads the settings as the file holds them now.
  platform::CheckRegistryFileNow();
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
    // Every sleeping worker wakes, finds the queue empty and the stop asked,
    // and ends; busy ones end when their queue runs dry.
    CWorkerSlot* rgpWake[MaxWorkerThreads];
    int nWake = 0;
    EnterCriticalSection(&q.lock);
    while (nWake < MaxWorkerThreads && (rgpWake[nWake] = WakeAnyWorker(q)) != nullptr) ++nWake;
    LeaveCriticalSection(&q.lock);
    for (int i = 0; i < nWake; ++i) SetEvent(rgpWake[i]->wakeEvent);
    Sleep(200);
  }

  FreeSpareRequestNodes();
  CIcuTrans::Terminate();
  for (CWorkerSlot& slot : q.slots) {
    if (slot.wakeEvent != nullptr) CloseHandle(slot.wakeEvent);
    slot.wakeEvent = nullptr;
  }
  if (InterlockedExchange(&q.initialized, 0) == 1) DeleteCriticalSection(&q.lock);
  return TRUE;
}
