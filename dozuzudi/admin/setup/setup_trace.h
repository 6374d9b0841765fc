// Trace points of the setup entry points: the extension's module, their own
// message GUID.
#pragma once

#include "admin/trace/extension_trace.h"

// {38fc7ad8-7a9a-42db-bd21-5022721fe063}
inline constexpr GUID kguidSetupMessages = {
    0x38fc7ad8, 0x7a9a, 0x42db, {0xbd, 0x21, 0x50, 0x22, 0x72, 0x1f, 0xe0, 0x63}};

enum ESetupTrace : USHORT {
  kSetupTraceConfigureStart = 10,      // QTR_ENTRY
  kSetupTraceNoWebInterface = 11,      // QTR_INFO
  kSetupTraceCopyFailed = 12,          // QTR_INFO: error code, source, destination
  kSetupTraceConfigureNoWamAdmin = 13, // QTR_INFO
  kSetupTraceAppCreateFailed = 14,     // QTR_INFO
  kSetupTraceAppCreated = 15,          // QTR_INFO
  kSetupTraceConfigureEnd = 16,        // QTR_ENTRY: exit code
  kSetupTraceUnconfigureStart = 17,    // QTR_ENTRY
  kSetupTraceUnconfigureNoWamAdmin = 18, // QTR_INFO
  kSetupTraceAppDeleteFailed = 19,     // QTR_INFO
  kSetupTraceUnconfigureEnd = 20,      // QTR_ENTRY: exit code
  kSetupTraceScriptsFromRegistry = 21, // QTR_INFO
  kSetupTraceNoVirtualRoots = 22,      // QTR_INFO
  kSetupTraceScriptsUnreadable = 23,   // QTR_INFO
  kSetupTraceScriptsNoComma = 24,      // QTR_INFO
  kSetupTraceScriptsFromValue = 25,    // QTR_INFO
};

template <typename... Items>
void SetupTrace(EQtrClass eClass, ESetupTrace eMessage, const Items&... items) {
  QtrTraceState* pState = g_pqtrAdminState.load(std::memory_order_acquire);
  unsigned nMinLevel = eClass == QTR_ENTRY ? 5 : 1;
  if (QtrEnabled(pState, eClass, nMinLevel))
    QtrWrite(QtrLoggerHandle(pState), &kguidSetupMessages, eMessage, items...);
}
