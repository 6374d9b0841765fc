// The trace device: records travel from the caller's memory to the
// collector, in order, and a vanished collector costs the caller nothing; a
// disabled trace point makes no system call; modules opened lazily by their
// first trace point. (A module's open against absent or hostile collectors:
// trace_hostile_collector_test.)
#include <gtest/gtest.h>

#include <linux/seccomp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "admin/trace/qtr_lazy_module.h"
#include "admin/trace/qtr_trace.h"
#include "trace_capture.h"
#include "platform/trace/trace_device.h"
#include "platform/base/handle.h"
#include "platform/base/sync.h"

namespace {

using vlttest::Bytes;

constexpr GUID kguidModule = {0x600dcafe, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
constexpr GUID kguidMessages = {0x600dcafe, 1, 2, {3, 4, 5, 6, 7, 8, 9, 11}};

class TraceDeviceTest : public ::testing::Test {
 protected:
  void OpenModule(const char16_t* pwName) {
    m_module = {INVALID_HANDLE_VALUE, &kguidModule, pwName, kQtrClassNames};
    QtrOpen(&m_module, &m_state);
    ASSERT_NE(m_state.load(), nullptr);
    ASSERT_EQ(QtrWriteDevice(), m_module.hDevice) << "records go through the latest open";
  }
  // A module keeps its handle for the life of the process; this one lives
  // only as long as the test.
  void TearDown() override {
    QtrSetWriteDeviceForTesting(INVALID_HANDLE_VALUE);
    if (m_module.hDevice != INVALID_HANDLE_VALUE) CloseHandle(m_module.hDevice);
  }

  QtrTraceModule m_module{};
  CQtrStateAddress m_state{nullptr};
};

TEST_F(TraceDeviceTest, RecordsReachTheCollector) {
  vlttest::CTraceCapture collector;  // every class at every level
  ASSERT_TRUE(collector.Started());
  OpenModule(u"RK_Device_Test");
  QtrTraceState* pState = m_state.load();
  ASSERT_TRUE(QtrEnabled(pState, QTR_INFO, 1));

  const LONG n = -5;
  const std::u16string sName(u"J\u00f6rg");
  QtrWrite(QtrLoggerHandle(pState), &kguidMessages, 21, QtrInt(n), QtrString(sName.c_str()),
           QtrString(nullptr));
  LONG rgn[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  QtrWriteItems(QtrLoggerHandle(pState), &kguidMessages, 22,
                std::vector<CQtrItem>{QtrInt(rgn[0]), QtrInt(rgn[1]), QtrInt(rgn[2]), QtrInt(rgn[3]),
                                     QtrInt(rgn[4]), QtrInt(rgn[5]), QtrInt(rgn[6]), QtrInt(rgn[7]),
                                     QtrInt(rgn[8]), {nullptr, 0}}
                    .data());

  // Records of one writer keep their order.
  constexpr LONG kCount = 2000;
  for (LONG i = 0; i < kCount; ++i) QtrWrite(QtrLoggerHandle(pState), &kguidMessages, 1, QtrInt(i));

  const auto records = collector.WaitForRecords(2 + kCount);
  ASSERT_EQ(records.size(), 2u + kCount);
  EXPECT_EQ(records[0].sModule, "RK_Device_Test");
  EXPECT_EQ(records[0].nPid, getpid());
  EXPECT_EQ(std::memcmp(records[0].rgbMessageGuid.data(), &kguidMessages, 16), 0);
  EXPECT_EQ(records[0].nMessage, 21);
  ASSERT_EQ(records[0].rgItems.size(), 3u);
  EXPECT_EQ(records[0].rgItems[0], Bytes(&n, 4));
  EXPECT_EQ(records[0].rgItems[1], Bytes(sName.c_str(), 10));
  EXPECT_EQ(records[0].rgItems[2], Bytes(u"NULL", 10));
  EXPECT_EQ(records[1].nMessage, 22);
  ASSERT_EQ(records[1].rgItems.size(), 1u);
  EXPECT_EQ(records[1].rgItems[0], Bytes(rgn, sizeof rgn));
  for (LONG i = 0; i < kCount; ++i) ASSERT_EQ(records[2 + i].rgItems[0], Bytes(&i, 4)) << i;
}

TEST_F(TraceDeviceTest, CollectorGoneMidway) {
  auto collector = std::make_unique<vlttest::CTraceCapture>();
  ASSERT_TRUE(collector->Started());
  OpenModule(u"RK_Device_Test");
  QtrTraceState* pState = m_state.load();
  const ULONGLONG nLogger = QtrLoggerHandle(pState);
  collector.reset();
  EXPECT_FALSE(QtrEnabled(pState, QTR_ERROR, 1)) << "the collector turned the module off";
  // A record from a trace point that read the state just before: dropped,
  // without a signal or an error for the caller.
  EXPECT_EQ(QtrWrite(nLogger, &kguidMessages, 1), STATUS_SUCCESS);
}

// A disabled trace point reads shared memory only: in a child that any
// system call but exit would kill (seccomp strict mode), a thousand of them
// run to the end; with the class on, the same loop calls the device and dies.
TEST_F(TraceDeviceTest, DisabledTracePointMakesNoSystemCall) {
  vltqtr::CCollectorOptions options;
  options.bClassFlags = 1u << QTR_ERROR;
  options.nLevel = 1;
  vlttest::CTraceCapture collector(options);
  ASSERT_TRUE(collector.Started());
  OpenModule(u"RK_Cost");
  auto run = [this](unsigned nClass) {
    const pid_t pid = fork();
    if (pid == 0) {
      if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_STRICT) != 0) syscall(SYS_exit, 2);
      for (LONG n = 0; n < 1000; ++n) {
        QtrTraceState* pState = m_state.load(std::memory_order_acquire);
        if (QtrEnabled(pState, nClass, 1)) QtrWrite(QtrLoggerHandle(pState), &kguidMessages, 1, QtrInt(n));
      }
      syscall(SYS_exit, 0);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    return status;
  };
  const int disabled = run(QTR_INFO);
  EXPECT_TRUE(WIFEXITED(disabled) && WEXITSTATUS(disabled) == 0) << "status " << disabled;
  const int enabled = run(QTR_ERROR);
  EXPECT_TRUE(WIFSIGNALED(enabled) && WTERMSIG(enabled) == SIGKILL) << "status " << enabled;
}

// The first trace points of a module, on many threads at once, open it
// once; an open that failed is never repeated, even once a collector runs.
TEST(QtrLazyModuleTest, ConcurrentFirstTracePointsOpenOnce) {
  setenv("VLTQTR_DEVICE", "/nonexistent/vltqtr.sock", 1);
  CQtrLazyModule failed = QTR_LAZY_MODULE(kguidModule, u"RK_Failed");
  EXPECT_EQ(QtrLazyState(&failed), nullptr);
  vlttest::CTraceCapture collector;  // every class at every level
  ASSERT_TRUE(collector.Started());
  EXPECT_EQ(QtrLazyState(&failed), nullptr);
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

TEST(TraceDeviceRequestTest, MalformedRequestsFail) {
  vlttest::CTraceCapture collector;
  ASSERT_TRUE(collector.Started());
  EXPECT_EQ(platform::OpenDevice(u"\\\\.\\Global\\OTHER"), INVALID_HANDLE_VALUE);
  HANDLE hDevice = platform::OpenDevice(u"\\\\.\\global\\vltqtr");
  ASSERT_NE(hDevice, INVALID_HANDLE_VALUE) << "device names ignore case";
  platform::CKernelObject* pDevice = platform::FromHandle(hDevice);
  unsigned char rgb[64] = {};
  DWORD cb = 0;
  EXPECT_FALSE(pDevice->IoControl(IOCTL_QTR_WRITE, rgb, 40, nullptr, 0, &cb));
  EXPECT_FALSE(pDevice->IoControl(IOCTL_QTR_WRITE, rgb, sizeof rgb, nullptr, 0, &cb))
      << "Size 0 and no GUID";
  EXPECT_FALSE(pDevice->IoControl(IOCTL_QTR_OPEN, rgb, 8, rgb, 8, &cb));
  EXPECT_FALSE(pDevice->IoControl(0x00222013, rgb, sizeof rgb, nullptr, 0, &cb));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  CloseHandle(hDevice);
}

}  // namespace
