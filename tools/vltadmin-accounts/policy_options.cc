#include "policy_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool ParseNumber(const char* psz, int64_t nMax, int64_t& n) {
  if (psz == nullptr || *psz < '0' || *psz > '9') return false;
  errno = 0;
  char* pszEnd = nullptr;
  long long value = strtoll(psz, &pszEnd, 10);
  if (errno != 0 || *pszEnd != 0 || value > nMax) return false;
  n = value;
  return true;
}

}  // namespace

bool ParsePolicyOptions(int argc, char** argv, int first, platform::CAccountPolicy& policy, std::string& error) {
  for (int i = first; i < argc; i += 2) {
    std::string option = argv[i];
    const char* pszValue = i + 1 < argc ? argv[i + 1] : nullptr;
    if (pszValue == nullptr) {
      error = option + " needs a value";
      return false;
    }
    int64_t n = 0;
    if (option == "--complexity") {
      if (strcmp(pszValue, "on") != 0 && strcmp(pszValue, "off") != 0) {
        error = "--complexity takes on or off";
        return false;
      }
      policy.fComplexity = strcmp(pszValue, "on") == 0;
      continue;
    }
    if (!ParseNumber(pszValue, option == "--min-age" ? INT64_MAX : 0xFFFFFFFF, n)) {
      error = option + ": not a number: " + pszValue;
      return false;
    }
    if (option == "--min-length") {
      policy.nMinLength = static_cast<uint32_t>(n);
    } else if (option == "--history") {
      policy.nHistory = static_cast<uint32_t>(n);
    } else if (option == "--min-age") {
      policy.nMinAgeSeconds = n;
    } else if (option == "--lockout") {
      policy.nLockoutThreshold = static_cast<uint32_t>(n);
    } else {
      error = "unknown option " + option;
      return false;
    }
  }
  return true;
}

std::string DescribePolicy(const platform::CAccountPolicy& policy) {
  return "min-length " + std::to_string(policy.nMinLength) + "\ncomplexity " +
         (policy.fComplexity ? "on" : "off") + "\nhistory " + std::to_string(policy.nHistory) + "\nmin-age " +
         std::to_string(policy.nMinAgeSeconds) + "\nlockout " + std::to_string(policy.nLockoutThreshold) + "\n";
}
