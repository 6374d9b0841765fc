// Trace point costs. Peers measured in the same run:
// - a disabled trace point (module registered, class off) beside a call of
//   an empty function that cannot be inlined;
// - enabled records per second sent into a vltqtr process, from 16 threads
//   beside 1 thread.
// Prints the ratios after the benchmark table.
#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "admin/trace/qtr_trace.h"

extern char** environ;

namespace {

constexpr GUID kguidBenchModule = {0xbe4c0001, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
constexpr GUID kguidBenchMessages = {0xbe4c0002, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

QtrTraceModule g_module = {INVALID_HANDLE_VALUE, &kguidBenchModule, u"RK_Bench", kQtrClassNames};
CQtrStateAddress g_pState{nullptr};
std::atomic<long> g_cSent{0};

__attribute__((noinline)) void EmptyCall(int n) { benchmark::DoNotOptimize(n); }

void BM_EmptyCall(benchmark::State& state) {
  int n = 0;
  for (auto _ : state) EmptyCall(++n);
}
BENCHMARK(BM_EmptyCall);

// The trace point pattern with a class that the collector leaves off.
void BM_DisabledTracePoint(benchmark::State& state) {
  if (g_pState.load() == nullptr) {
    state.SkipWithError("no collector");
    return;
  }
  LONG n = 0;
  for (auto _ : state) {
    QtrTraceState* pState = g_pState.load(std::memory_order_acquire);
    if (QtrEnabled(pState, QTR_ENTRY, 5))
      QtrWrite(QtrLoggerHandle(pState), &kguidBenchMessages, 1, QtrInt(n));
    benchmark::DoNotOptimize(++n);
  }
}
BENCHMARK(BM_DisabledTracePoint);

// An enabled QTR_ERROR trace point with an integer and a string.
void BM_EnabledRecords(benchmark::State& state) {
  QtrTraceState* pState = g_pState.load();
  if (!QtrEnabled(pState, QTR_ERROR, 1)) {
    state.SkipWithError("no collector");
    return;
  }
  LONG n = state.thread_index();
  const std::u16string sUser(u"someone@example.org");
  for (auto _ : state) {
    pState = g_pState.load(std::memory_order_acquire);
    if (QtrEnabled(pState, QTR_ERROR, 1))
      QtrWrite(QtrLoggerHandle(pState), &kguidBenchMessages, 2, QtrInt(n), QtrString(sUser.c_str()));
  }
  g_cSent.fetch_add(static_cast<long>(state.iterations()));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EnabledRecords)->Threads(1)->Threads(16)->UseRealTime();

// Keeps per-benchmark results for the ratios.
class CRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.error_occurred) continue;
      const auto items = run.counters.find("items_per_second");
      m_results[run.benchmark_name()] = {run.GetAdjustedRealTime(),
                                         items == run.counters.end() ? 0.0 : items->second.value};
    }
  }
  std::map<std::string, std::pair<double, double>> m_results;  // ns, items/s
};

bool CanConnect(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  const bool fConnected =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return fConnected;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);

  // vltqtr from beside this program, enabling QTR_ERROR only.
  char szExe[4096] = {};
  if (::readlink("/proc/self/exe", szExe, sizeof szExe - 1) <= 0) return 1;
  std::string program = szExe;
  program = program.substr(0, program.rfind('/')) + "/vltqtr";
  char szDir[] = "/tmp/vltqtr-bench-XXXXXX";
  if (mkdtemp(szDir) == nullptr) return 1;
  const std::string sSocket = std::string(szDir) + "/device.sock";
  const std::string sOutput = std::string(szDir) + "/records.txt";
  std::string rgArgs[] = {program, "--socket", sSocket, "--classes", "ERROR", "--level", "1",
                          "--output", sOutput};
  char* rgpArgv[] = {rgArgs[0].data(), rgArgs[1].data(), rgArgs[2].data(), rgArgs[3].data(),
                     rgArgs[4].data(), rgArgs[5].data(), rgArgs[6].data(), rgArgs[7].data(),
                     rgArgs[8].data(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, rgpArgv, environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", program.c_str());
    return 1;
  }
  for (int i = 0; i < 1000 && !CanConnect(sSocket); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  setenv("VLTQTR_DEVICE", sSocket.c_str(), 1);
  QtrOpen(&g_module, &g_pState);

  CRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  long cLines = 0;
  {
    std::ifstream output(sOutput);
    std::string line;
    while (std::getline(output, line)) ++cLines;
  }
  ::unlink(sOutput.c_str());
  ::rmdir(szDir);

  auto& r = reporter.m_results;
  auto find = [&](const char* pszPrefix) -> std::pair<double, double> {
    for (const auto& [name, value] : r)
      if (name.rfind(pszPrefix, 0) == 0) return value;
    return {0, 0};
  };
  const auto empty = find("BM_EmptyCall");
  const auto disabled = find("BM_DisabledTracePoint");
  const auto one = find("BM_EnabledRecords/real_time/threads:1");
  const auto sixteen = find("BM_EnabledRecords/real_time/threads:16");
  std::printf("\ndisabled trace point: %.2f ns per call, empty call %.2f ns (ratio %.2f)\n",
              disabled.first, empty.first, empty.first > 0 ? disabled.first / empty.first : 0.0);
  std::printf("enabled records into vltqtr: 1 thread %.0f/s, 16 threads %.0f/s (ratio 16:1 %.2f)\n",
              one.second, sixteen.second, one.second > 0 ? sixteen.second / one.second : 0.0);
  std::printf("records received by vltqtr: %ld of %ld sent\n", cLines, g_cSent.load());
  return 0;
}
