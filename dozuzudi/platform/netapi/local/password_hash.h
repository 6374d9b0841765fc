// Password hashing for the account store: yescrypt from libcrypt, through
// the reentrant calls only (no static buffers), with the work areas wiped.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A "$y$" hash of |pszPassword| with a fresh random salt. False when libcrypt
// fails.
bool HashPassword(const char* pszPassword, std::string& hash);
// True when |pszPassword| hashes to |hash| (compared in constant time).
bool VerifyPassword(const char* pszPassword, const std::string& hash);
// The length and complexity rules of the account policy, on UTF-8 text:
// at least |nMinLength| UTF-16 units and, when |fComplexity|, characters of
// three of the classes A-Z, a-z, 0-9 and everything else.
bool MeetsLengthAndComplexity(const char* pszPassword, uint32_t nMinLength, bool fComplexity);

}  // namespace platform
