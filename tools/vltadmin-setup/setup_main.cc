// vltadmin-setup: runs the extension's setup entry points as an installer
// would, in a process of their own.
//
//   vltadmin-setup [--registry FILE] configure|unconfigure [IIS_SCRIPTS_DIR=DIR]
//
// Loads the extension "vltadmin.dll" by the module rule and calls
// ConfigureIIS or UnconfigureIIS, which read the setting from this process's
// command line and end the process: its exit code is theirs (0 done or
// nothing to do, 1 failed). 2: bad arguments; 1: the extension or its entry
// point cannot be loaded.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/base/module.h"

namespace {

constexpr char kUsage[] =
    "usage: vltadmin-setup [--registry FILE] configure|unconfigure [IIS_SCRIPTS_DIR=DIR]\n"
    "  configure    copies the extension into the scripts directory DIR (beside the\n"
    "               web interface's hqsrv.dll) and creates its web application\n"
    "  unconfigure  deletes the web application and the copy\n"
    "  DIR defaults to the registry's \"/Scripts\" virtual root; the setting must come\n"
    "  last (everything after \"=\" is the directory). Exit code 0 done, 1 failed.\n";

int Usage(const char* pszProblem) {
  if (pszProblem != nullptr) std::fprintf(stderr, "vltadmin-setup: %s\n", pszProblem);
  std::fputs(kUsage, pszProblem != nullptr ? stderr : stdout);
  return pszProblem != nullptr ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  int iArg = 1;
  if (iArg < argc && std::strcmp(argv[iArg], "--help") == 0) return Usage(nullptr);
  if (iArg < argc && std::strcmp(argv[iArg], "--registry") == 0) {
    if (iArg + 1 >= argc) return Usage("--registry needs a file");
    setenv("VLTADMIN_REGISTRY", argv[iArg + 1], 1);
    iArg += 2;
  }
  if (iArg >= argc) return Usage("configure or unconfigure?");
  const char* pszExport = nullptr;
  if (std::strcmp(argv[iArg], "configure") == 0)
    pszExport = "ConfigureIIS";
  else if (std::strcmp(argv[iArg], "unconfigure") == 0)
    pszExport = "UnconfigureIIS";
  else
    return Usage((std::string("unknown command ") + argv[iArg]).c_str());
  ++iArg;
  // Anything after the command is the setting, read by the entry point.
  if (iArg < argc && std::strncmp(argv[iArg], "IIS_SCRIPTS_DIR=", 16) != 0)
    return Usage((std::string("unexpected argument ") + argv[iArg]).c_str());

  HMODULE hExtension = LoadLibraryW(u"vltadmin.dll");
  if (hExtension == nullptr) {
    std::fprintf(stderr, "vltadmin-setup: cannot load the extension %s\n",
                 platform::ModuleFileName("vltadmin.dll").c_str());
    return 1;
  }
  auto pfnEntry = reinterpret_cast<void (*)()>(GetProcAddress(hExtension, pszExport));
  if (pfnEntry == nullptr) {
    std::fprintf(stderr, "vltadmin-setup: the extension does not export %s\n", pszExport);
    return 1;
  }
  std::fflush(nullptr);
  pfnEntry();  // ends the process
  return 1;
}
