// vltqtr: collects the trace records of the modules that register with the
// trace device and prints one line per record.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "collector_options.h"
#include "trace_collector.h"

namespace {
vltqtr::CTraceCollector* s_pCollector = nullptr;

void OnStopSignal(int) {
  if (s_pCollector != nullptr) s_pCollector->Stop();
}
}  // namespace

int main(int argc, char** argv) {
  vltqtr::CCollectorOptions options;
  bool fHelp = false;
  std::string sError;
  if (!vltqtr::ParseCommandLine(argc, argv, &options, &fHelp, &sError)) {
    std::fprintf(stderr, "vltqtr: %s\n%s", sError.c_str(), vltqtr::kUsage);
    return 2;
  }
  if (fHelp) {
    std::fputs(vltqtr::kUsage, stdout);
    return 0;
  }
  FILE* output = stdout;
  if (!options.sOutputPath.empty()) {
    // Records may name users: created 0600, never through a symbolic link.
    int fd = open(options.sOutputPath.c_str(),
                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    output = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (output == nullptr) {
      std::perror(("vltqtr: " + options.sOutputPath).c_str());
      return 1;
    }
  }

  vltqtr::CTraceCollector collector(options, [output](const vltqtr::CTraceRecord& record) {
    const std::string line = vltqtr::FormatRecordLine(record);
    std::fwrite(line.data(), 1, line.size(), output);
    std::fputc('\n', output);
  });
  collector.SetIdleCallback([output] { std::fflush(output); });
  if (!collector.Start(&sError)) {
    std::fprintf(stderr, "vltqtr: %s\n", sError.c_str());
    return 1;
  }
  s_pCollector = &collector;
  struct sigaction action{};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::fprintf(stderr, "vltqtr: %s %s\n", collector.IsViewer() ? "viewing" : "serving",
               collector.SocketPath().c_str());
  collector.Run();
  s_pCollector = nullptr;
  if (output != stdout) std::fclose(output);
  return 0;
}
