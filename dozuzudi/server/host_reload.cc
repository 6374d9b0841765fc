#include "server/host_reload.h"

#include <cstdio>
#include <string>

namespace {

void Report(const std::string& message) {
  std::fprintf(stderr, "vltadmin-host: %s\n", message.c_str());
}

// Restarts the modules of one library: all held, all idle, one restart.
bool RestartLibrary(const std::vector<CExtensionModule*>& rgModules) {
  for (CExtensionModule* pe : rgModules) pe->Hold();
  for (CExtensionModule* pe : rgModules) pe->WaitIdle();
  std::string err;
  bool fOk = rgModules.front()->Restart(err);
  if (!fOk) Report(err);
  for (CExtensionModule* pe : rgModules) pe->Release();
  return fOk;
}

}  // namespace

bool ReopenAccessLog(CAccessLog& log) {
  std::string err;
  if (log.Reopen(err)) return true;
  Report(err);
  return false;
}

bool ReopenAccessLogAndSay(CAccessLog& log) {
  if (!ReopenAccessLog(log)) return false;
  Report("access log opened again");
  return true;
}

bool ReloadHost(CAccessLog& log, CPageFiles& pages,
                const std::vector<std::unique_ptr<CExtensionModule>>& rgExtensions) {
  bool fOk = ReopenAccessLog(log);
  std::string err;
  if (!pages.Reload(err)) {
    Report(err);
    fOk = false;
  }
  std::vector<const void*> rgDone;
  for (const auto& pe : rgExtensions) {
    const void* hLibrary = pe->Handle();
    bool fDone = false;
    for (const void* h : rgDone) fDone = fDone || h == hLibrary;
    if (fDone) continue;
    rgDone.push_back(hLibrary);
    std::vector<CExtensionModule*> rgGroup;
    for (const auto& pOther : rgExtensions)
      if (pOther->Handle() == hLibrary) rgGroup.push_back(pOther.get());
    fOk = RestartLibrary(rgGroup) && fOk;
  }
  Report(fOk ? "reloaded" : "reloaded, with the errors above");
  return fOk;
}
