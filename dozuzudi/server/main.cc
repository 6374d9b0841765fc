// vltadmin-host: the web server that hosts ISAPI extensions (by default the
// vltadmin extension built beside it) over HTTP/1.1 and HTTPS.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "server/access_log.h"
#include "server/extension_module.h"
#include "server/host_options.h"
#include "server/host_reload.h"
#include "server/http_server.h"
#include "server/metrics_listener.h"
#include "server/stop_signals.h"

#ifndef VLTADMIN_INSTALLED_EXTENSION
#define VLTADMIN_INSTALLED_EXTENSION "/usr/local/lib/vltadmin/libvltadmin.so"
#endif
#ifndef VLTADMIN_EXTENSION_FROM_HOST
#define VLTADMIN_EXTENSION_FROM_HOST "../lib/vltadmin/libvltadmin.so"
#endif
#ifndef VLTADMIN_INSTALLED_PAGES
#define VLTADMIN_INSTALLED_PAGES "/usr/local/share/vltadmin/www"
#endif
#ifndef VLTADMIN_PAGES_FROM_HOST
#define VLTADMIN_PAGES_FROM_HOST "../share/vltadmin/www"
#endif
#ifndef VLTADMIN_DEFAULT_REGISTRY
#define VLTADMIN_DEFAULT_REGISTRY "/etc/vltadmin/vltadmin.reg"
#endif

namespace {

constexpr const char* kDefaultUrlPath = "/Scripts/vltadmin/vltadmin.dll";

std::string OwnDirectory() {
  std::vector<char> rgPath(4096);
  ssize_t cch = readlink("/proc/self/exe", rgPath.data(), rgPath.size() - 1);
  if (cch <= 0) return ".";
  std::string path(rgPath.data(), static_cast<size_t>(cch));
  size_t iSlash = path.rfind('/');
  return iSlash == std::string::npos ? "." : path.substr(0, iSlash == 0 ? 1 : iSlash);
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "vltadmin-host: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Every symbol of every library bound before the first request: a lazy
  // binding's first call saves the vector registers on the stack, where the
  // bytes of a request body they last held would stay. The host starts
  // itself again once with LD_BIND_NOW (the same process).
  if (std::getenv("LD_BIND_NOW") == nullptr && setenv("LD_BIND_NOW", "1", 1) == 0) {
    char szSelf[4096];
    ssize_t cch = readlink("/proc/self/exe", szSelf, sizeof(szSelf) - 1);
    if (cch > 0) {
      szSelf[cch] = '\0';
      execv(szSelf, argv);  // named by its own file, as ps and pidof know it
    }
  }
  // From the first line on: a stop signal during the start is kept.
  CStopSignals& signals = CStopSignals::Start();
  CHostOptions opts;
  std::string err;
  bool fHelp = false;
  if (!ParseHostOptions(argc, argv, opts, err, fHelp)) {
    std::fprintf(stderr, "vltadmin-host: %s\n%s", err.c_str(), HostUsage());
    return 2;
  }
  if (fHelp) {
    std::fputs(HostUsage(), stdout);
    return 0;
  }
  if (opts.m_extensions.empty()) {
    // The extension built beside the host; an installed host finds it in the
    // library directory of its own tree, else of the configured prefix.
    std::string library;
    for (const std::string& candidate :
         {OwnDirectory() + "/libvltadmin.so", OwnDirectory() + "/" VLTADMIN_EXTENSION_FROM_HOST,
          std::string(VLTADMIN_INSTALLED_EXTENSION)}) {
      if (access(candidate.c_str(), F_OK) == 0) {
        library = candidate;
        break;
      }
    }
    if (library.empty()) library = OwnDirectory() + "/libvltadmin.so";  // named in the error
    opts.m_extensions.push_back({kDefaultUrlPath, library});
  }

  // The platform layer of the extension reads its registry file name from
  // the environment when the library loads.
  if (!opts.m_registry.empty())
    setenv("VLTADMIN_REGISTRY", opts.m_registry.c_str(), 1);
  else if (std::getenv("VLTADMIN_REGISTRY") == nullptr)
    setenv("VLTADMIN_REGISTRY", VLTADMIN_DEFAULT_REGISTRY, 1);

  // The page files: those given, else those of the host's own tree (the
  // build tree has them too), else those of the configured prefix.
  if (!opts.m_fPageDirGiven) {
    for (const std::string& candidate :
         {OwnDirectory() + "/" VLTADMIN_PAGES_FROM_HOST, std::string(VLTADMIN_INSTALLED_PAGES)}) {
      if (access(candidate.c_str(), F_OK) == 0) {
        opts.m_pageDir = candidate;
        break;
      }
    }
  }

  // A request still being read may take its whole body allowance, its
  // response the write timeout, the connections the shutdown timeout; the
  // extensions get half a minute more to end their work.
  signals.SetStopAllowance(opts.m_bodyTimeout +
                           std::chrono::milliseconds(opts.m_cbReadAhead * 1000 / opts.m_cbBodyMinRate) +
                           opts.m_writeTimeout + opts.m_shutdownTimeout + std::chrono::seconds(30));
  std::signal(SIGPIPE, SIG_IGN);

  CAccessLog log;
  if (!opts.m_accessLog.empty() && !log.Open(opts.m_accessLog, err)) return Fail(err);

  std::vector<std::unique_ptr<CExtensionModule>> rgExtensions;
  CHttpServer server(opts, rgExtensions, log);
  if (!server.Listen(err)) return Fail(err);
  if (!server.Pages().Load(opts.m_pageDir, err)) return Fail(err);
  std::unique_ptr<CMetricsListener> pMetrics;
  if (!opts.m_metricsListen.empty()) {
    pMetrics = std::make_unique<CMetricsListener>([&server] { return server.MetricsText(); });
    if (!pMetrics->Listen(opts.m_metricsListen, err)) return Fail(err);
  }

  for (const CExtensionMapping& m : opts.m_extensions) {
    if (signals.StopRequested()) break;
    auto pe = std::make_unique<CExtensionModule>(m.m_urlPath, m.m_library);
    if (!pe->Load(err)) {
      for (auto& pStarted : rgExtensions) pStarted->Terminate();
      return Fail(err);
    }
    rgExtensions.push_back(std::move(pe));
  }
  if (signals.StopRequested()) {
    // Stopped while starting: nothing was served yet.
    for (auto& pStarted : rgExtensions) pStarted->Terminate();
    std::fputs("vltadmin-host: stop signal during the start, stopped\n", stderr);
    return 0;
  }

  // "listening on" comes last: who waits for it has the metrics address too.
  if (pMetrics) {
    pMetrics->Run();
    std::printf("metrics on %s\n", pMetrics->BoundAddress().c_str());
  }
  server.Run();
  std::printf("listening on %s\n", server.BoundAddress().c_str());
  std::fflush(stdout);

  for (;;) {
    int nSignal = signals.Wait();
    if (nSignal == SIGHUP)
      ReloadHost(log, server.Pages(), rgExtensions);
    else if (nSignal == SIGUSR1)
      ReopenAccessLogAndSay(log);
    else
      break;
  }

  server.StopAccepting();
  for (auto& pe : rgExtensions) pe->Terminate();
  bool fEnded = server.Shutdown();
  if (pMetrics) pMetrics->Stop();
  if (!fEnded) return Fail("stopped before every connection had ended");
  return 0;
}
