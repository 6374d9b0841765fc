// A process that loads the extension, with a collector started before and
// after it; and vltqtr attaching as a viewer to a collector that already
// serves modules.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "admin/trace/extension_trace.h"
#include "admin/trace/qtr_trace.h"
#include "host_process.h"
#include "trace_capture.h"

extern char** environ;

namespace {

constexpr char kChildVariable[] = "VLT_TRACE_LOAD_CHILD";

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

pid_t Spawn(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int nError = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return nError == 0 ? pid : -1;
}

// Starts the load step in a new process.
pid_t SpawnLoadingProcess(const std::string& sMode) {
  setenv(kChildVariable, sMode.c_str(), 1);
  pid_t pid = Spawn({"/proc/self/exe", "--gtest_filter=TraceLoadChild.Attach"});
  unsetenv(kChildVariable);
  return pid;
}

int ExitStatus(pid_t pid) {
  int status = -1;
  if (pid > 0) waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The extension's load message from the child, under a collector with these
// classes and level.
int LoadMessages(uint8_t bClassFlags, int nLevel) {
  vltqtr::CCollectorOptions options;
  options.bClassFlags = bClassFlags;
  options.nLevel = static_cast<uint8_t>(nLevel);
  vlttest::CTraceCapture capture(options);
  EXPECT_TRUE(capture.Started());
  const pid_t pid = SpawnLoadingProcess("load");
  EXPECT_EQ(ExitStatus(pid), 0);
  int n = 0;
  for (const auto& record : capture.Stop())
    n += record.nPid == pid && record.sModule == "RK_DOZUzudi_Admin" && record.nMessage == 10 &&
         vltqtr::FormatGuid(record.rgbMessageGuid) == "{4fef0fc9-40c0-49c5-b1b9-9b68786ce237}" &&
         record.rgItems.empty();
  return n;
}

TEST(TraceEndToEndTest, LoadMessageNeedsEntryAtLevel5) {
  constexpr uint8_t kEntry = 1u << QTR_ENTRY, kErrorInfo = (1u << QTR_ERROR) | (1u << QTR_INFO);
  EXPECT_EQ(LoadMessages(kEntry, 5), 1);
  EXPECT_EQ(LoadMessages(kEntry | kErrorInfo, 255), 1);
  EXPECT_EQ(LoadMessages(kEntry, 4), 0);
  EXPECT_EQ(LoadMessages(kErrorInfo, 255), 0);
}

TEST(TraceEndToEndTest, CollectorStartedAfterTheLoad) {
  vlttest::CScratchDir dir;
  const std::string sSignal = dir.Path("child");
  setenv("VLTQTR_DEVICE", dir.Path("device.sock").c_str(), 1);
  const pid_t pid = SpawnLoadingProcess("wait:" + sSignal);
  ASSERT_GT(pid, 0);
  WaitForFile(sSignal + ".loaded");
  vltqtr::CCollectorOptions options = vlttest::AllTraceClasses();
  options.sSocketPath = dir.Path("device.sock");
  vlttest::CTraceCapture capture(options);
  ASSERT_TRUE(capture.Started());
  Touch(sSignal + ".go");
  EXPECT_EQ(ExitStatus(pid), 0);
  for (const auto& record : capture.Stop()) EXPECT_NE(record.nPid, pid) << "the process stays silent";
}

TEST(TraceEndToEndTest, ViewerEnablesRegisteredModulesUntilItStops) {
  vltqtr::CCollectorOptions options;
  options.bClassFlags = 0;  // serves the device, wants nothing itself
  vlttest::CTraceCapture device(options);
  ASSERT_TRUE(device.Started());
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

  vlttest::CScratchDir dir;
  const pid_t viewer = Spawn({CHostProcess::BinDir() + "/vltqtr", "--socket", device.SocketPath(), "--classes",
                              "INFO", "--level", "1", "--module", "RK_Viewed", "--output", dir.Path("out.txt")});
  ASSERT_GT(viewer, 0);
  EXPECT_TRUE(waitFor(true)) << "the viewer enables a module registered before it";
  EXPECT_FALSE(QtrEnabled(pState, QTR_ERROR, 1));
  const LONG n = 77;
  QtrWrite(QtrLoggerHandle(pState), &kguidModule, 3, QtrInt(n));
  std::string sOut;
  for (int i = 0; i < 1000 && sOut.find('\n') == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    sOut = vlttest::ReadFile(dir.Path("out.txt"));
  }
  kill(viewer, SIGTERM);
  EXPECT_EQ(ExitStatus(viewer), 0);
  EXPECT_TRUE(waitFor(false)) << "leaving, the viewer disables its classes";
  EXPECT_NE(sOut.find(" RK_Viewed {00005eed-0001-0002-0304-05060708090a} 3 77\n"), std::string::npos) << sOut;
  struct stat st {};
  ASSERT_EQ(stat(dir.Path("out.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "records name users: the output is the owner's only";
  EXPECT_TRUE(device.Stop().empty()) << "the device's own run wanted nothing";
}

}  // namespace
