// What a collector enables and where it listens.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vltqtr {

struct CCollectorOptions {
  std::string sSocketPath;               // empty: VLTQTR_DEVICE, else the default
  std::vector<std::string> rgsModules;   // empty: every module
  uint8_t bClassFlags = 0x0B;            // QTR_ERROR, QTR_INFO, QTR_ENTRY
  uint8_t nLevel = 5;
  std::string sOutputPath;               // empty: standard output

  // How the collector answers a module's open request. Other than kState
  // only for testing clients.
  enum class EOpenAnswer { kState, kRefuse, kNullState };
  EOpenAnswer eOpenAnswer = EOpenAnswer::kState;
};

// Class flags of a comma-separated list of class names (ERROR, INFO,
// PRIVATE, ENTRY, PROFILE, UNITTEST, RESERVED6, RESERVED7, with or without
// the QTR_ prefix, any case), "all" or "none". False for an unknown name.
bool ParseClassList(const std::string& sList, uint8_t* pbFlags);

// Parses the command line; false with a message for the user on error.
// *pfHelp is set for --help.
bool ParseCommandLine(int argc, char** argv, CCollectorOptions* pOptions, bool* pfHelp,
                      std::string* psError);

extern const char kUsage[];

// The socket path: the option, else VLTQTR_DEVICE, else the default.
std::string ResolveSocketPath(const std::string& sOption);

}  // namespace vltqtr
