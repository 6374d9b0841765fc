#include "admin/password/guess_limit.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/registry/registry.h"

CGuessLimiter& GuessLimiter() {
  static CGuessLimiter* s_pLimiter = new CGuessLimiter;  // used by workers until exit
  return *s_pLimiter;
}

namespace {

constexpr size_t kcwMaxUserKey = 256;
constexpr DWORD kMaxLimit = 1000;

WCHAR FoldCase(WCHAR w) { return w >= u'A' && w <= u'Z' ? static_cast<WCHAR>(w + 32) : w; }

// The groups of an IPv6 address, "::" expanded; false when it is not one.
bool ParseIpv6(const char* psz, unsigned rgGroups[8]) {
  unsigned rgHead[8], rgTail[8];
  int cHead = 0, cTail = 0;
  bool fGap = false;
  const char* p = psz;
  if (p[0] == ':' && p[1] == ':') {
    fGap = true;
    p += 2;
  }
  while (*p != 0 && *p != '%') {
    unsigned nGroup = 0;
    int cDigits = 0;
    for (; cDigits < 5; ++p, ++cDigits) {
      char c = *p;
      int nDigit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (nDigit < 0) break;
      nGroup = nGroup * 16 + static_cast<unsigned>(nDigit);
    }
    if (cDigits == 0 || cDigits > 4 || cHead + cTail >= 8) return false;
    (fGap ? rgTail[cTail++] : rgHead[cHead++]) = nGroup;
    if (*p == ':' && p[1] == ':' && !fGap) {
      fGap = true;
      p += 2;
    } else if (*p == ':' && p[1] != 0) {
      ++p;
    } else if (*p != 0 && *p != '%') {
      return false;  // an embedded IPv4 tail or junk: not taken apart
    }
  }
  if (fGap ? cHead + cTail > 7 : cHead != 8) return false;
  for (int i = 0; i < 8; ++i) rgGroups[i] = 0;
  for (int i = 0; i < cHead; ++i) rgGroups[i] = rgHead[i];
  for (int i = 0; i < cTail; ++i) rgGroups[8 - cTail + i] = rgTail[i];
  return true;
}

DWORD ReadDword(HKEY hKey, const WCHAR* pwszName, DWORD dwDefault) {
  DWORD dwValue = 0, dwType = 0, cbValue = sizeof dwValue;
  if (RegQueryValueExW(hKey, pwszName, nullptr, &dwType, reinterpret_cast<LPBYTE>(&dwValue),
                       &cbValue) != ERROR_SUCCESS ||
      dwType != REG_DWORD || cbValue != sizeof dwValue)
    return dwDefault;
  return dwValue;
}

}  // namespace

CGuessLimiter::CGuessLimiter() { InitializeCriticalSection(&m_lock); }
CGuessLimiter::~CGuessLimiter() { DeleteCriticalSection(&m_lock); }

void CGuessLimiter::Configure(const CGuessLimitSettings& settings) {
  EnterCriticalSection(&m_lock);
  m_settings = settings;
  if (m_settings.nFailuresPerUser > kMaxLimit) m_settings.nFailuresPerUser = kMaxLimit;
  if (m_settings.nFailuresPerAddress > kMaxLimit) m_settings.nFailuresPerAddress = kMaxLimit;
  if (m_settings.nWindowSeconds == 0) m_settings.nWindowSeconds = 1;
  LeaveCriticalSection(&m_lock);
}

DWORD CGuessLimiter::Count(CAttempts& attempts, ULONGLONG nNow) {
  const ULONGLONG nWindow = 1000ull * m_settings.nWindowSeconds;
  while (!attempts.failures.empty() && nNow - attempts.failures.front() >= nWindow)
    attempts.failures.pop_front();
  return static_cast<DWORD>(attempts.failures.size()) + attempts.cUnderWay;
}

template <typename TKey>
CGuessLimiter::CAttempts& CGuessLimiter::Entry(CTable<TKey>& table, const TKey& key, ULONGLONG nNow) {
  auto it = table.find(key);
  if (it != table.end()) return it->second;
  if (table.size() >= kMaxGuessEntries) {
    // Expired keys go first; if that is not enough, the eighth of the keys
    // whose last failure is oldest, so that the next evictions are far off.
    std::vector<std::pair<ULONGLONG, TKey>> rgOldest;
    for (auto entry = table.begin(); entry != table.end();) {
      if (entry->second.cUnderWay == 0 && Count(entry->second, nNow) == 0) {
        entry = table.erase(entry);
        continue;
      }
      if (entry->second.cUnderWay == 0) rgOldest.emplace_back(entry->second.failures.back(), entry->first);
      ++entry;
    }
    if (table.size() >= kMaxGuessEntries && !rgOldest.empty()) {
      const size_t cEvict = std::min(rgOldest.size(), kMaxGuessEntries / 8);
      std::nth_element(rgOldest.begin(), rgOldest.begin() + (cEvict - 1), rgOldest.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      for (size_t i = 0; i < cEvict; ++i) table.erase(rgOldest[i].second);
    }
  }
  return table[key];
}

template <typename TKey>
void CGuessLimiter::Release(CTable<TKey>& table, const TKey& key, bool fFailed, ULONGLONG nNow) {
  auto it = table.find(key);
  if (it == table.end()) return;
  CAttempts& attempts = it->second;
  if (attempts.cUnderWay > 0) --attempts.cUnderWay;
  if (fFailed) attempts.failures.push_back(nNow);
  if (Count(attempts, nNow) == 0) table.erase(it);
}

bool CGuessLimiter::Admit(const std::u16string& userKey, const std::string& addressKey) {
  const ULONGLONG nNow = GetTickCount64();
  EnterCriticalSection(&m_lock);
  const DWORD nPerUser = m_settings.nFailuresPerUser;
  const DWORD nPerAddress = addressKey.empty() ? 0 : m_settings.nFailuresPerAddress;
  bool fAdmitted = true;
  CAttempts* pUser = nullptr;
  CAttempts* pAddress = nullptr;
  if (nPerUser != 0) {
    pUser = &Entry(m_users, userKey, nNow);
    fAdmitted = Count(*pUser, nNow) < nPerUser;
  }
  if (fAdmitted && nPerAddress != 0) {
    pAddress = &Entry(m_addresses, addressKey, nNow);
    fAdmitted = Count(*pAddress, nNow) < nPerAddress;
  }
  if (fAdmitted) {
    if (pUser != nullptr) ++pUser->cUnderWay;
    if (pAddress != nullptr) ++pAddress->cUnderWay;
  }
  // A key looked at and not kept leaves no entry.
  if (pUser != nullptr && pUser->cUnderWay == 0 && pUser->failures.empty()) m_users.erase(userKey);
  if (pAddress != nullptr && pAddress->cUnderWay == 0 && pAddress->failures.empty())
    m_addresses.erase(addressKey);
  LeaveCriticalSection(&m_lock);
  return fAdmitted;
}

void CGuessLimiter::Finish(const std::u16string& userKey, const std::string& addressKey,
                           EOutcome eOutcome) {
  const ULONGLONG nNow = GetTickCount64();
  const bool fFailed = eOutcome == EOutcome::kWrongOldPassword;
  EnterCriticalSection(&m_lock);
  Release(m_users, userKey, fFailed, nNow);
  if (eOutcome == EOutcome::kSucceeded) {
    auto it = m_users.find(userKey);
    if (it != m_users.end()) {
      it->second.failures.clear();
      if (it->second.cUnderWay == 0) m_users.erase(it);
    }
  }
  if (!addressKey.empty()) Release(m_addresses, addressKey, fFailed, nNow);
  LeaveCriticalSection(&m_lock);
}

std::u16string CGuessLimiter::UserKey(DWORD nDomainType, const WCHAR* pwszDomain,
                                      const WCHAR* pwszUser) {
  std::u16string key(1, static_cast<WCHAR>(u'0' + (nDomainType & 0xF)));
  for (const WCHAR* pwsz : {pwszDomain, pwszUser}) {
    key.push_back(u'\0');  // never part of a name
    for (const WCHAR* pw = pwsz; pw != nullptr && *pw != 0 && key.size() < kcwMaxUserKey; ++pw)
      key.push_back(FoldCase(*pw));
  }
  return key;
}

std::string CGuessLimiter::AddressKey(const char* pszAddress) {
  if (pszAddress == nullptr) return std::string();
  unsigned rgGroups[8];
  if (!ParseIpv6(pszAddress, rgGroups)) return std::string(pszAddress);
  char szPrefix[48];
  std::snprintf(szPrefix, sizeof szPrefix, "%x:%x:%x:%x::/64", rgGroups[0], rgGroups[1],
                rgGroups[2], rgGroups[3]);
  return szPrefix;
}

void ReadGuessLimitSettings() {
  CGuessLimitSettings settings;
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Veltra\\XML Service", 0,
                    KEY_READ | KEY_WOW64_32KEY, &hKey) == ERROR_SUCCESS) {
    settings.nFailuresPerUser = ReadDword(hKey, u"FailuresPerUser", settings.nFailuresPerUser);
    settings.nFailuresPerAddress = ReadDword(hKey, u"FailuresPerAddress", settings.nFailuresPerAddress);
    settings.nWindowSeconds = ReadDword(hKey, u"FailureWindow", settings.nWindowSeconds);
    RegCloseKey(hKey);
  }
  GuessLimiter().Configure(settings);
}
