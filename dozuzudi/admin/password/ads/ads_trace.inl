// Template part of the back end's trace points.
#pragma once

#include "admin/trace/extension_trace.h"

// {5b0e7c3a-94d1-4f6e-8a27-c1d39e60b4f2}
inline constexpr GUID kguidAdsMessages = {
    0x5b0e7c3a, 0x94d1, 0x4f6e, {0x8a, 0x27, 0xc1, 0xd3, 0x9e, 0x60, 0xb4, 0xf2}};

template <typename... Items>
void AdsTrace(EQtrClass eClass, USHORT nMessage, const Items&... items) {
  QtrTraceState* pState = g_pqtrAdminState.load(std::memory_order_acquire);
  unsigned nMinLevel = eClass == QTR_ENTRY ? 5 : 1;
  if (QtrEnabled(pState, eClass, nMinLevel))
    QtrWrite(QtrLoggerHandle(pState), &kguidAdsMessages, nMessage, items...);
}
