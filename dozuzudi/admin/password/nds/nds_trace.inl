// The trace points of the NDS change (the extension's trace module, one
// message GUID of their own). No record carries a password.
#pragma once

#include "admin/trace/extension_trace.h"

// {617d6db3-696d-4e96-9b5a-f0089ced4513}
inline constexpr GUID kguidNdsMessages = {
    0x617d6db3, 0x696d, 0x4e96, {0x9b, 0x5a, 0xf0, 0x08, 0x9c, 0xed, 0x45, 0x13}};

enum : USHORT {
  // The NT change that follows an NDS success failed: the synced domain,
  // the user's leaf name and the error id (the NDS answer stays success).
  kNdsTraceSyncedChangeFailed = 10,
};

template <typename... Items>
void NdsTrace(EQtrClass eClass, USHORT nMessage, const Items&... items) {
  QtrTraceState* pState = g_pqtrAdminState.load(std::memory_order_acquire);
  if (QtrEnabled(pState, eClass, eClass == QTR_ENTRY ? 5 : 1))
    QtrWrite(QtrLoggerHandle(pState), &kguidNdsMessages, nMessage, items...);
}
