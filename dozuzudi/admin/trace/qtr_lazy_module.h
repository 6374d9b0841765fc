// A trace module that registers on its first trace point rather than at
// load (the password library's module works this way).
//
//   CQtrLazyModule s_qtrModule = QTR_LAZY_MODULE(kguidModule, u"RK_Module");
//   ...
//   QtrTraceState* pState = QtrLazyState(&s_qtrModule);
//   if (QtrEnabled(pState, QTR_INFO, 1)) QtrWrite(QtrLoggerHandle(pState), ...);
//
// The first trace point that finds no state sets the open-once flag from 0
// to 1; that thread alone runs QtrOpen. Threads that lose the race do not
// wait: they read the state address again and may find it still null, so a
// trace point running during the open can be skipped. The open is never
// repeated, whether it succeeded or not.
#pragma once

#include <atomic>

#include "admin/trace/qtr_trace.h"

struct CQtrLazyModule {
  QtrTraceModule block;
  CQtrStateAddress pState;
  std::atomic<LONG> fOpenOnce;
};

#define QTR_LAZY_MODULE(guidModule, pwName) \
  CQtrLazyModule { {INVALID_HANDLE_VALUE, &(guidModule), (pwName), kQtrClassNames}, {nullptr}, {0} }

// The module's state address, opening the module on the first call.
inline QtrTraceState* QtrLazyState(CQtrLazyModule* pModule) {
  QtrTraceState* pState = pModule->pState.load(std::memory_order_acquire);
  if (pState != nullptr) return pState;
  if (pModule->fOpenOnce.load(std::memory_order_relaxed) == 0) {
    LONG nExpected = 0;
    if (pModule->fOpenOnce.compare_exchange_strong(nExpected, 1)) {
      QtrOpen(&pModule->block, &pModule->pState);
    }
  }
  return pModule->pState.load(std::memory_order_acquire);
}
