// Modules opened lazily by their first trace point. (A module's open
// against absent or hostile collectors: trace_hostile_collector_test.)
#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <thread>
#include <vector>

#include "admin/trace/qtr_lazy_module.h"
#include "admin/trace/qtr_trace.h"
#include "trace_capture.h"

namespace {

constexpr GUID kguidModule = {0x0badf00d, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
constexpr GUID kguidMessages = {0x0badf00d, 1, 2, {3, 4, 5, 6, 7, 8, 9, 11}};

TEST(QtrLazyModuleTest, NoDeviceOpensOnceAndStaysSilent) {
  setenv("VLTQTR_DEVICE", "/nonexistent/vltqtr.sock", 1);
  CQtrLazyModule module = QTR_LAZY_MODULE(kguidModule, u"RK_Lazy");
  EXPECT_EQ(QtrLazyState(&module), nullptr);
  EXPECT_EQ(module.fOpenOnce.load(), 1);
  unsetenv("VLTQTR_DEVICE");
  EXPECT_EQ(QtrLazyState(&module), nullptr);
}

TEST(QtrLazyModuleTest, ConcurrentFirstTracePointsOpenOnce) {
  vlttest::CTraceCapture collector;  // every class at every level
  ASSERT_TRUE(collector.Started());
  CQtrLazyModule module = QTR_LAZY_MODULE(kguidModule, u"RK_Lazy");
  constexpr int kThreads = 8;
  std::atomic<int> cReady{0};
  std::atomic<int> cWritten{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      cReady.fetch_add(1);
      while (cReady.load() < kThreads) {
      }
      QtrTraceState* pState = QtrLazyState(&module);
      const LONG n = i;
      if (QtrEnabled(pState, QTR_INFO, 1)) {
        QtrWrite(QtrLoggerHandle(pState), &kguidMessages, 1, QtrInt(n));
        cWritten.fetch_add(1);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(collector.Collector().OpenCount(), 1);
  ASSERT_NE(module.pState.load(), nullptr);
  EXPECT_GE(cWritten.load(), 1) << "the thread that opened writes its record";
  EXPECT_EQ(collector.WaitForRecords(cWritten.load()).size(), static_cast<size_t>(cWritten.load()));
}

}  // namespace
