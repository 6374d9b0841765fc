// The extension's trace module and its registration at load.
#include "admin/trace/extension_trace.h"

#include <atomic>

namespace {

// {7680d2d1-2663-4781-afd5-329118174a18}
constexpr GUID kguidAdminModule = {
    0x7680d2d1, 0x2663, 0x4781, {0xaf, 0xd5, 0x32, 0x91, 0x18, 0x17, 0x4a, 0x18}};
// Messages of the load step. {4fef0fc9-40c0-49c5-b1b9-9b68786ce237}
constexpr GUID kguidAttachMessages = {
    0x4fef0fc9, 0x40c0, 0x49c5, {0xb1, 0xb9, 0x9b, 0x68, 0x78, 0x6c, 0xe2, 0x37}};

constexpr USHORT kMessageAttach = 10;

constinit std::atomic<LONG> s_fTraceOnce{0};

}  // namespace

// Opened from the load step, which runs while the library's static objects
// are constructed: the block is constructed before any of them.
QtrTraceModule g_qtrAdminModule __attribute__((init_priority(101))) = {INVALID_HANDLE_VALUE, &kguidAdminModule,
                                   u"RK_DOZUzudi_Admin", kQtrClassNames};
constinit CQtrStateAddress g_pqtrAdminState{nullptr};

void TraceExtensionAttach() {
  LONG nExpected = 0;
  if (!s_fTraceOnce.compare_exchange_strong(nExpected, 1)) return;
  QtrOpen(&g_qtrAdminModule, &g_pqtrAdminState);
  QtrTraceState* pState = g_pqtrAdminState.load(std::memory_order_acquire);
  if (QtrEnabled(pState, QTR_ENTRY, 5))
    QtrWrite(QtrLoggerHandle(pState), &kguidAttachMessages, kMessageAttach);
}

void TraceExtensionResetForTesting() {
  g_pqtrAdminState.store(nullptr, std::memory_order_release);
  g_qtrAdminModule.hDevice = INVALID_HANDLE_VALUE;
  s_fTraceOnce.store(0);
}
