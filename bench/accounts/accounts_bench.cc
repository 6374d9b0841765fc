// Password changes against the embedded account store. Peer measured in the
// same run: one bare yescrypt hash (crypt_rn with a "$y$" setting of the
// store's cost). A change without history hashes twice (the old password is
// verified, the new one hashed), with history 3 up to five times (the new
// password is also checked against the current and two earlier hashes).
// Prints changes per second of CPU time and the share of each change spent
// hashing (CPU time: wall time swings on a shared machine).
#include <benchmark/benchmark.h>

#include <crypt.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "platform/netapi/local/account_store.h"
#include "platform/netapi/netapi.h"
#include "platform/text/wstr.h"

namespace {

std::string g_dir;

std::string MakeStore(const std::string& name, uint32_t nHistory) {
  std::string path = g_dir + "/" + name;
  // Each run of a benchmark starts from a new store.
  for (const char* pszSuffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + pszSuffix);
  platform::CAccountPolicy policy;
  policy.nMinLength = 0;
  policy.fComplexity = false;
  policy.nHistory = nHistory;
  policy.nMinAgeSeconds = 0;
  policy.nLockoutThreshold = 0;
  std::string error;
  auto pStore = platform::CAccountStore::Create(path, policy, error);
  if (!pStore || pStore->AddUser("alice", "Pass-0") != 0) {
    std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), error.c_str());
    std::exit(1);
  }
  return path;
}

void BM_YescryptHash(benchmark::State& state) {
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof(setting));
  auto pData = std::make_unique<crypt_data>();
  for (auto _ : state) benchmark::DoNotOptimize(crypt_rn("Pass-0", setting, pData.get(), sizeof(crypt_data)));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_YescryptHash)->Unit(benchmark::kMillisecond)->UseRealTime();

// Alternates between two passwords (history 0 allows it).
void BM_StoreChange(benchmark::State& state) {
  std::string error;
  auto pStore = platform::CAccountStore::Open(MakeStore("plain.db", 0), error);
  int n = 0;
  for (auto _ : state) {
    std::string from = "Pass-" + std::to_string(n % 2), to = "Pass-" + std::to_string((n + 1) % 2);
    if (pStore->ChangePassword("alice", from.c_str(), to.c_str()) != 0) state.SkipWithError("change failed");
    ++n;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StoreChange)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StoreChangeHistory3(benchmark::State& state) {
  std::string error;
  auto pStore = platform::CAccountStore::Open(MakeStore("history.db", 3), error);
  int n = 0;
  for (auto _ : state) {
    std::string from = "Pass-" + std::to_string(n), to = "Pass-" + std::to_string(n + 1);
    if (pStore->ChangePassword("alice", from.c_str(), to.c_str()) != 0) state.SkipWithError("change failed");
    ++n;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StoreChangeHistory3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Through NetUserChangePassword: the registry read and the store opened per
// change, as the extension's workers do.
void BM_NetUserChangePassword(benchmark::State& state) {
  std::string store = MakeStore("net.db", 0);
  std::string registry = g_dir + "/bench.reg";
  std::ofstream(registry) << "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Accounts\\Domains\\DEMO]\r\n"
                             "\"Provider\"=\"local\"\r\n\"Store\"=\"" << store << "\"\r\n";
  setenv("VLTADMIN_REGISTRY", registry.c_str(), 1);
  int n = 0;
  for (auto _ : state) {
    std::u16string from = u"Pass-" + platform::FromUtf8(std::to_string(n % 2));
    std::u16string to = u"Pass-" + platform::FromUtf8(std::to_string((n + 1) % 2));
    if (NetUserChangePassword(u"DEMO", u"alice", from.c_str(), to.c_str()) != 0) state.SkipWithError("change failed");
    ++n;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NetUserChangePassword)->Unit(benchmark::kMillisecond)->UseRealTime();

class CRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs)
      if (!run.error_occurred) m_ms[run.benchmark_name()] = run.GetAdjustedCPUTime();
  }
  std::map<std::string, double> m_ms;  // CPU ms: steadier than wall time on a shared machine
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  char szDir[] = "/tmp/vltaccounts-bench-XXXXXX";
  if (mkdtemp(szDir) == nullptr) return 1;
  g_dir = szDir;
  CRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(g_dir, ec);

  auto& ms = reporter.m_ms;
  double hash = ms["BM_YescryptHash/real_time"];
  auto line = [&](const char* pszName, const char* pszKey, double nHashes) {
    double change = ms[pszKey];
    if (change <= 0 || hash <= 0) return;
    std::printf("%-34s %7.1f changes/s of CPU, %.2f ms each; hashing %.0f%% (%.0f hashes of %.2f ms)\n", pszName,
                1000.0 / change, change, 100.0 * nHashes * hash / change, nHashes, hash);
  };
  std::printf("\n");
  line("store, no history:", "BM_StoreChange/real_time", 2);
  line("store, history 3:", "BM_StoreChangeHistory3/real_time", 5);
  line("NetUserChangePassword, no history:", "BM_NetUserChangePassword/real_time", 2);
  return 0;
}
