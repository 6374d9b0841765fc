#include "collector_options.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/trace/trace_device.h"

namespace vltqtr {

const char kUsage[] =
    "usage: vltqtr [--socket PATH] [--module NAME]... [--classes ERROR,INFO,ENTRY,...]\n"
    "              [--level N] [--output FILE]\n"
    "Collects the trace records of the modules that register with the trace device\n"
    "and prints one line per record. The given classes (default ERROR,INFO,ENTRY) and\n"
    "level (default 5) are enabled for the named modules (default: all) until vltqtr\n"
    "stops (SIGINT, SIGTERM). When a collector already serves PATH, vltqtr attaches\n"
    "to it as a viewer.\n";

namespace {
const char* const kClassNames[] = {"ERROR",   "INFO",     "PRIVATE",   "ENTRY",
                                   "PROFILE", "UNITTEST", "RESERVED6", "RESERVED7"};
}

bool ParseClassList(const std::string& sList, uint8_t* pbFlags) {
  if (strcasecmp(sList.c_str(), "all") == 0) {
    *pbFlags = 0xFF;
    return true;
  }
  if (strcasecmp(sList.c_str(), "none") == 0) {
    *pbFlags = 0;
    return true;
  }
  uint8_t bFlags = 0;
  size_t iStart = 0;
  while (iStart <= sList.size()) {
    size_t iEnd = sList.find(',', iStart);
    if (iEnd == std::string::npos) iEnd = sList.size();
    std::string name = sList.substr(iStart, iEnd - iStart);
    if (strncasecmp(name.c_str(), "QTR_", 4) == 0) name.erase(0, 4);
    bool fFound = false;
    for (unsigned i = 0; i < 8; ++i) {
      if (strcasecmp(name.c_str(), kClassNames[i]) == 0) {
        bFlags = static_cast<uint8_t>(bFlags | (1u << i));
        fFound = true;
      }
    }
    if (!fFound) return false;
    iStart = iEnd + 1;
  }
  *pbFlags = bFlags;
  return true;
}

bool ParseCommandLine(int argc, char** argv, CCollectorOptions* pOptions, bool* pfHelp,
                      std::string* psError) {
  *pfHelp = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      *pfHelp = true;
      return true;
    }
    if (i + 1 >= argc) {
      *psError = arg.rfind("--", 0) == 0 ? "missing value for " + arg : "unknown argument " + arg;
      return false;
    }
    const std::string value = argv[++i];
    if (arg == "--socket") {
      pOptions->sSocketPath = value;
    } else if (arg == "--module") {
      pOptions->rgsModules.push_back(value);
    } else if (arg == "--classes") {
      if (!ParseClassList(value, &pOptions->bClassFlags)) {
        *psError = "unknown class in " + value;
        return false;
      }
    } else if (arg == "--level") {
      char* pEnd = nullptr;
      const long n = std::strtol(value.c_str(), &pEnd, 10);
      if (value.empty() || *pEnd != 0 || n < 0 || n > 255) {
        *psError = "level must be 0 to 255: " + value;
        return false;
      }
      pOptions->nLevel = static_cast<uint8_t>(n);
    } else if (arg == "--output") {
      pOptions->sOutputPath = value;
    } else {
      *psError = "unknown argument " + arg;
      return false;
    }
  }
  return true;
}

std::string ResolveSocketPath(const std::string& sOption) {
  if (!sOption.empty()) return sOption;
  const char* env = std::getenv(platform::kTraceDeviceSocketVariable);
  if (env != nullptr && *env != 0) return env;
  return platform::kTraceDeviceDefaultSocket;
}

}  // namespace vltqtr
