// The cost of Dispatch for a well-formed change-password request that is
// answered in-band without reaching a back end ("operation-failed").
//
//   dispatch_bench [benchmark flags]     Google Benchmark
//   dispatch_bench --count N             N dispatches and nothing else, for
//                                        instruction counts under callgrind
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include "admin/messages/keyword_tables.h"
#include "admin/protocol/request.h"
#include "admin/xml/icu_trans.h"
#include "fake_isapi_host.h"

namespace {

const char s_szRequest[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<AdminProtocol version=\"1.0\">\n"
    "  <RequestChangePassword>\n"
    "    <UserName>jsmith</UserName>\n"
    "    <Domain></Domain>\n"
    "    <OldPassword>Old-Password-1</OldPassword>\n"
    "    <NewPassword>New-Password-2</NewPassword>\n"
    "  </RequestChangePassword>\n"
    "</AdminProtocol>\n";

// The connection a response goes to: nothing is kept.
BOOL WINAPI DiscardWrite(HCONN, LPVOID, LPDWORD, DWORD) { return TRUE; }
BOOL WINAPI DiscardSupport(HCONN, DWORD, LPVOID, LPDWORD, LPDWORD) { return TRUE; }

struct Setup {
  Setup() {
    int nError = 0;
    InitKeywordTables();
    if (!CIcuTrans::Initialize(&nError, nullptr)) abort();
    ecb.cbSize = sizeof(ecb);
    ecb.WriteClient = DiscardWrite;
    ecb.ServerSupportFunction = DiscardSupport;
  }
  vlttest::ScopedRegistryFile registry;
  EXTENSION_CONTROL_BLOCK ecb{};
};

int DispatchOnce(Setup& setup, unsigned char* pbBody, DWORD cbBody) {
  ConnectionOutput output;
  output.m_pECB = &setup.ecb;
  CRequest20 handler(&output);
  return handler.Dispatch(pbBody, cbBody);
}

void BM_DispatchOperationFailed(benchmark::State& state) {
  static Setup setup;
  std::string body = s_szRequest;
  for (auto _ : state) {
    int n = DispatchOnce(setup, reinterpret_cast<unsigned char*>(body.data()),
                         static_cast<DWORD>(body.size()));
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * body.size());
}
BENCHMARK(BM_DispatchOperationFailed);

}  // namespace

int main(int argc, char** argv) {
  setenv("VLT_SOURCE_DIR", VLT_DEFAULT_SOURCE_DIR, 0);
  if (argc == 3 && std::strcmp(argv[1], "--count") == 0) {
    Setup setup;
    std::string body = s_szRequest;
    long n = std::atol(argv[2]);
    for (long i = 0; i < n; ++i)
      DispatchOnce(setup, reinterpret_cast<unsigned char*>(body.data()), static_cast<DWORD>(body.size()));
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
