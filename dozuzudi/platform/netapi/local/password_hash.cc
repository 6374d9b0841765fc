#include "platform/netapi/local/password_hash.h"

#include <crypt.h>
#include <string.h>

#include <memory>

namespace platform {
namespace {

// libcrypt's work area, wiped before it is freed: it holds derived secrets.
struct CCryptArea {
  CCryptArea() : m_pData(new crypt_data()) {}
  ~CCryptArea() { explicit_bzero(m_pData.get(), sizeof(crypt_data)); }
  std::unique_ptr<crypt_data> m_pData;
};

bool ConstantTimeEqual(const char* pa, size_t ca, const std::string& b) {
  if (ca != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < ca; ++i) diff |= static_cast<unsigned char>(pa[i] ^ b[i]);
  return diff == 0;
}

}  // namespace

bool HashPassword(const char* pszPassword, std::string& hash) {
  char salt[CRYPT_GENSALT_OUTPUT_SIZE];
  if (crypt_gensalt_rn("$y$", 0, nullptr, 0, salt, sizeof(salt)) == nullptr) return false;
  CCryptArea area;
  const char* pszHash = crypt_rn(pszPassword, salt, area.m_pData.get(), sizeof(crypt_data));
  if (pszHash == nullptr || pszHash[0] == '*') return false;
  hash = pszHash;
  return true;
}

bool VerifyPassword(const char* pszPassword, const std::string& hash) {
  if (hash.empty() || hash[0] != '$') return false;
  CCryptArea area;
  const char* pszHash = crypt_rn(pszPassword, hash.c_str(), area.m_pData.get(), sizeof(crypt_data));
  if (pszHash == nullptr || pszHash[0] == '*') return false;
  return ConstantTimeEqual(pszHash, strlen(pszHash), hash);
}

bool MeetsLengthAndComplexity(const char* pszPassword, uint32_t nMinLength, bool fComplexity) {
  uint32_t cw = 0;
  bool fUpper = false, fLower = false, fDigit = false, fOther = false;
  for (const unsigned char* pb = reinterpret_cast<const unsigned char*>(pszPassword); *pb != 0; ++pb) {
    unsigned char b = *pb;
    if ((b & 0xC0) == 0x80) continue;  // continuation byte
    cw += (b >= 0xF0) ? 2 : 1;         // four-byte sequences are surrogate pairs in UTF-16
    if (b >= 'A' && b <= 'Z') fUpper = true;
    else if (b >= 'a' && b <= 'z') fLower = true;
    else if (b >= '0' && b <= '9') fDigit = true;
    else fOther = true;
  }
  if (cw < nMinLength) return false;
  if (!fComplexity) return true;
  return int(fUpper) + int(fLower) + int(fDigit) + int(fOther) >= 3;
}

}  // namespace platform
