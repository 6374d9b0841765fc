// Whether a trace point writes, decided from the module's state block alone.
#include <gtest/gtest.h>

#include "admin/trace/qtr_trace.h"

namespace {

void SetState(QtrTraceState* pState, ULONGLONG nLogger, BYTE bFlags, BYTE nLevel) {
  pState->nLoggerHandle = nLogger;
  pState->bClassFlags = bFlags;
  pState->nLevel = nLevel;
}

TEST(QtrEnabledTest, ClassAndLevel) {
  QtrTraceState state{};
  SetState(&state, 7, 1u << QTR_ENTRY, 5);
  EXPECT_TRUE(QtrEnabled(&state, QTR_ENTRY, 5));
  EXPECT_FALSE(QtrEnabled(&state, QTR_INFO, 1)) << "class bit not set";
  state.nLevel = 4;
  EXPECT_FALSE(QtrEnabled(&state, QTR_ENTRY, 5));

  SetState(&state, 7, 1u << QTR_ERROR, 1);
  EXPECT_TRUE(QtrEnabled(&state, QTR_ERROR, 1));
  state.nLevel = 0;
  EXPECT_FALSE(QtrEnabled(&state, QTR_ERROR, 1));

  SetState(&state, 7, 0xFF, 255);
  EXPECT_TRUE(QtrEnabled(&state, QTR_INFO, 1));
  EXPECT_TRUE(QtrEnabled(&state, QTR_RESERVED7, 255));
  EXPECT_FALSE(QtrEnabled(&state, QTR_RESERVED8, 1)) << "the state holds classes 0 to 7 only";
}

TEST(QtrEnabledTest, NothingWithoutLoggerOrState) {
  QtrTraceState state{};
  SetState(&state, 0, 0xFF, 255);
  for (unsigned nClass : {QTR_ERROR, QTR_INFO, QTR_ENTRY}) EXPECT_FALSE(QtrEnabled(&state, nClass, 0));
  EXPECT_FALSE(QtrEnabled(nullptr, QTR_ERROR, 0));
}

TEST(QtrEnabledTest, StateLayoutMatchesDevice) {
  alignas(8) unsigned char rgb[16] = {};
  rgb[0] = 1;     // logger handle, low byte
  rgb[8] = 0x08;  // QTR_ENTRY
  rgb[15] = 5;    // level
  const auto* pState = reinterpret_cast<const QtrTraceState*>(rgb);
  EXPECT_TRUE(QtrEnabled(pState, QTR_ENTRY, 5));
  EXPECT_FALSE(QtrEnabled(pState, QTR_ENTRY, 6));
}

}  // namespace
