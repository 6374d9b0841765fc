// A process that loads the extension, with vltqtr started before and after
// it; and vltqtr attaching to a collector that already serves modules.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <string>
#include <thread>

#include "admin/trace/extension_trace.h"
#include "admin/trace/qtr_trace.h"
#include "in_process_collector.h"
#include "trace_capture.h"

extern char** environ;

namespace {

constexpr char kChildVariable[] = "VLT_TRACE_LOAD_CHILD";
constexpr char kAttachGuid[] = "{4fef0fc9-40c0-49c5-b1b9-9b68786ce237}";
constexpr GUID kguidCaptureTest = {0xc0ffee, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

// The child and the test signal each other through files.
void Touch(const std::string& path) { std::ofstream{path}; }
void WaitForFile(const std::string& path) {
  for (int i = 0; i < 1000 && !std::filesystem::exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// The load step, as the extension's process runs it; in a process of its
// own, started by the tests below (skipped when run directly).
TEST(TraceLoadChild, Attach) {
  const char* pszMode = std::getenv(kChildVariable);
  if (pszMode == nullptr) GTEST_SKIP() << "runs as a child of the end-to-end tests";
  TraceExtensionAttach();
  const std::string sMode = pszMode;
  if (sMode.rfind("wait:", 0) == 0) {
    // Announce the load, then wait until the collector has started.
    Touch(sMode.substr(5) + ".loaded");
    WaitForFile(sMode.substr(5) + ".go");
    TraceExtensionAttach();  // a second load step does nothing
    EXPECT_EQ(g_pqtrAdminState.load(), nullptr) << "registered with no collector listening";
  }
}

// Starts the load step in a new process.
pid_t SpawnLoadingProcess(const std::string& sMode) {
  setenv(kChildVariable, sMode.c_str(), 1);
  std::string program = "/proc/self/exe";
  std::string filter = "--gtest_filter=TraceLoadChild.Attach";
  char* argv[] = {program.data(), filter.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int nError = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  unsetenv(kChildVariable);
  return nError == 0 ? pid : -1;
}

// Runs the load step in a new process; its pid, after it has ended.
pid_t RunLoadingProcess(const std::string& sMode, int* pExitStatus) {
  const pid_t pid = SpawnLoadingProcess(sMode);
  *pExitStatus = -1;
  if (pid > 0) ::waitpid(pid, pExitStatus, 0);
  return pid;
}

int CountAttachRecords(const std::vector<vlttest::CapturedTraceRecord>& records, pid_t pid) {
  int n = 0;
  for (const auto& record : records) {
    if (record.nPid == pid && record.sModule == "RK_DOZUzudi_Admin" &&
        record.sMessageGuid == kAttachGuid && record.nMessage == 10 && record.rgItems.empty())
      ++n;
  }
  return n;
}

int RunWithCollector(const std::string& sClasses, int nLevel) {
  vlttest::TraceCaptureOptions options;
  options.sClasses = sClasses;
  options.nLevel = nLevel;
  vlttest::CTraceCapture capture(options);
  EXPECT_TRUE(capture.Started());
  int status = 0;
  const pid_t pid = RunLoadingProcess("load", &status);
  EXPECT_GT(pid, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return CountAttachRecords(capture.Stop(), pid);
}

TEST(TraceEndToEndTest, LoadMessageNeedsEntryAtLevel5) {
  EXPECT_EQ(RunWithCollector("ENTRY", 5), 1);
  EXPECT_EQ(RunWithCollector("ERROR,INFO,ENTRY", 255), 1);
  EXPECT_EQ(RunWithCollector("ENTRY", 4), 0);
  EXPECT_EQ(RunWithCollector("ERROR,INFO", 255), 0);
}

TEST(TraceEndToEndTest, CollectorStartedAfterTheLoad) {
  char szDir[] = "/tmp/vltqtr-late-XXXXXX";
  ASSERT_NE(mkdtemp(szDir), nullptr);
  const std::string sDir = szDir;
  const std::string sSocket = sDir + "/device.sock";
  const std::string sSignal = sDir + "/child";
  setenv("VLTQTR_DEVICE", sSocket.c_str(), 1);

  const pid_t pid = SpawnLoadingProcess("wait:" + sSignal);
  ASSERT_GT(pid, 0);
  WaitForFile(sSignal + ".loaded");

  vlttest::TraceCaptureOptions options;
  options.sSocketPath = sSocket;
  vlttest::CTraceCapture capture(options);
  ASSERT_TRUE(capture.Started());
  Touch(sSignal + ".go");
  int status = -1;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  const auto records = capture.Stop();
  for (const auto& record : records) EXPECT_NE(record.nPid, pid) << "the process stays silent";
  std::filesystem::remove_all(sDir);
}

TEST(TraceEndToEndTest, ViewerEnablesRegisteredModulesUntilItStops) {
  vltqtr::CCollectorOptions options;
  options.bClassFlags = 0;  // serves the device, wants nothing itself
  CInProcessCollector device(options);
  ASSERT_TRUE(device.Started());
  const char* pszSocket = std::getenv("VLTQTR_DEVICE");
  ASSERT_NE(pszSocket, nullptr);
  const std::string sSocket = pszSocket;
  constexpr GUID kguidModule = {0x5eed, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  QtrTraceModule module = {INVALID_HANDLE_VALUE, &kguidModule, u"RK_Viewed", kQtrClassNames};
  CQtrStateAddress state{nullptr};
  QtrOpen(&module, &state);
  QtrTraceState* pState = state.load();
  ASSERT_NE(pState, nullptr);
  EXPECT_FALSE(QtrEnabled(pState, QTR_INFO, 1));

  auto waitFor = [&](bool fEnabled) {
    for (int i = 0; i < 1000 && QtrEnabled(pState, QTR_INFO, 1) != fEnabled; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return QtrEnabled(pState, QTR_INFO, 1) == fEnabled;
  };
  vlttest::TraceCaptureOptions viewerOptions;
  viewerOptions.sSocketPath = sSocket;
  viewerOptions.sClasses = "INFO";
  viewerOptions.nLevel = 1;
  viewerOptions.rgsModules = {"RK_Viewed"};
  std::vector<vlttest::CapturedTraceRecord> records;
  {
    vlttest::CTraceCapture viewer(viewerOptions);
    ASSERT_TRUE(viewer.Started());
    ASSERT_TRUE(waitFor(true)) << "the viewer enables a module registered before it";
    EXPECT_FALSE(QtrEnabled(pState, QTR_ERROR, 1));
    const LONG n = 77;
    QtrWrite(QtrLoggerHandle(pState), &kguidModule, 3, QtrInt(n));
    EXPECT_EQ(viewer.WaitForRecords(1).size(), 1u);
    records = viewer.Stop();
  }
  EXPECT_TRUE(waitFor(false)) << "leaving, the viewer disables its classes";
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].sModule, "RK_Viewed");
  EXPECT_EQ(records[0].nMessage, 3u);
  const std::vector<uint8_t> expected = {77, 0, 0, 0};
  EXPECT_EQ(records[0].rgItems.at(0), expected);
  EXPECT_TRUE(device.Records().empty()) << "the device's own run wanted nothing";
}

TEST(TraceCaptureTest, CapturesTheExtensionAndFindsText) {
  const auto records = vlttest::CaptureTraceRecords([] {
    QtrTraceState* pState = g_pqtrAdminState.load();
    ASSERT_TRUE(QtrEnabled(pState, QTR_ENTRY, 255));
    QtrWrite(QtrLoggerHandle(pState), &kguidCaptureTest, 99,
             QtrString(u"visible \"quoted\" text"), CQtrItem{"\x01\x02", 2});
  });
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(CountAttachRecords(records, getpid()), 1) << "the extension registered again";
  EXPECT_TRUE(vlttest::TraceRecordsContain(records, u"\"quoted\""));
}

}  // namespace
