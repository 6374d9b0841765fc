// Whether a trace point writes, decided from the module's state block alone.
#include <gtest/gtest.h>

#include "admin/trace/qtr_trace.h"

namespace {

TEST(QtrEnabledTest, ClassLevelAndLogger) {
  const struct {
    ULONGLONG nLogger;
    BYTE bFlags, nLevel;
    unsigned nClass, nPointLevel;
    bool fEnabled;
  } cases[] = {
      {7, 1u << QTR_ENTRY, 5, QTR_ENTRY, 5, true},
      {7, 1u << QTR_ENTRY, 5, QTR_INFO, 1, false},  // class bit not set
      {7, 1u << QTR_ENTRY, 4, QTR_ENTRY, 5, false},
      {7, 1u << QTR_ERROR, 1, QTR_ERROR, 1, true},
      {7, 1u << QTR_ERROR, 0, QTR_ERROR, 1, false},
      {7, 0xFF, 255, QTR_RESERVED7, 255, true},
      {7, 0xFF, 255, QTR_RESERVED8, 1, false},  // the state holds classes 0 to 7 only
      {0, 0xFF, 255, QTR_ERROR, 0, false},      // no logger
      {0, 0xFF, 255, QTR_ENTRY, 0, false},
  };
  for (const auto& c : cases) {
    QtrTraceState state{};
    state.nLoggerHandle = c.nLogger;
    state.bClassFlags = c.bFlags;
    state.nLevel = c.nLevel;
    EXPECT_EQ(QtrEnabled(&state, c.nClass, c.nPointLevel), c.fEnabled)
        << c.nLogger << " " << int(c.bFlags) << " " << int(c.nLevel) << " " << c.nClass;
  }
  EXPECT_FALSE(QtrEnabled(nullptr, QTR_ERROR, 0));
}

}  // namespace
