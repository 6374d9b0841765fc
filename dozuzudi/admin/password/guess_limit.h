// Guessing limits. A change-password endpoint tells whether an old password
// is right, so it is an oracle for passwords; and every wrong guess it passes
// on raises the account's bad-password count in the domain, so an attacker
// could lock accounts through it. The limiter counts wrong old passwords
// ("old-password-invalid" answers) per user and per source address over a
// sliding window, in memory; once either has reached its limit, further
// attempts are refused before any back end is called, until the oldest
// counted failure leaves the window.
//
// Users are told apart by domain type, domain and user name (letter case
// ignored, the first 256 code units); addresses by the client's address,
// IPv6 addresses by their /64 prefix. Changes under way count against the
// limits while they run, so parallel guesses cannot pass the limit either.
// A successful change clears its user's failures. Each table holds at most
// kMaxGuessEntries keys; when it is full, expired keys go first, then the
// eighth of the keys whose last failure is oldest.
//
// Settings (HKLM\SOFTWARE\Veltra\XML Service, REG_DWORD, read at start):
//   "FailuresPerUser"    default 3; 0 turns the per-user limit off
//   "FailuresPerAddress" default 30; 0 turns the per-address limit off
//   "FailureWindow"      seconds, default 900 (15 minutes)
// The per-user default stays below the lockout thresholds domains commonly
// use (5 or more), so that the service cannot be made to lock an account.
//
// Threads: every operation may be called from any worker at any time.
#pragma once

#include <deque>
#include <string>
#include <unordered_map>

#include "platform/base/sync.h"
#include "platform/base/thread_annotations.h"
#include "platform/base/wintypes.h"

struct CGuessLimitSettings {
  DWORD nFailuresPerUser = 3;
  DWORD nFailuresPerAddress = 30;
  DWORD nWindowSeconds = 900;
};

inline constexpr size_t kMaxGuessEntries = 16384;

class CGuessLimiter {
 public:
  CGuessLimiter();
  ~CGuessLimiter();
  CGuessLimiter(const CGuessLimiter&) = delete;
  CGuessLimiter& operator=(const CGuessLimiter&) = delete;

  void Configure(const CGuessLimitSettings& settings) EXCLUDES(m_lock);

  // Takes one attempt of the user from the address (empty when unknown):
  // false when either has no attempt left in the window; otherwise the
  // attempt counts as under way until Finish.
  bool Admit(const std::u16string& userKey, const std::string& addressKey) EXCLUDES(m_lock);
  // Ends an admitted attempt with its outcome.
  enum class EOutcome { kSucceeded, kWrongOldPassword, kOther };
  void Finish(const std::u16string& userKey, const std::string& addressKey, EOutcome eOutcome)
      EXCLUDES(m_lock);

  // The key of a change's user, and of a client address.
  static std::u16string UserKey(DWORD nDomainType, const WCHAR* pwszDomain, const WCHAR* pwszUser);
  static std::string AddressKey(const char* pszAddress);

 private:
  struct CAttempts {
    std::deque<ULONGLONG> failures;  // times (ms), oldest first
    DWORD cUnderWay = 0;
  };
  template <typename TKey>
  using CTable = std::unordered_map<TKey, CAttempts>;

  // Drops failures older than the window; the attempts counted now.
  DWORD Count(CAttempts& attempts, ULONGLONG nNow) REQUIRES(m_lock);
  template <typename TKey>
  CAttempts& Entry(CTable<TKey>& table, const TKey& key, ULONGLONG nNow) REQUIRES(m_lock);
  template <typename TKey>
  void Release(CTable<TKey>& table, const TKey& key, bool fFailed, ULONGLONG nNow) REQUIRES(m_lock);

  CRITICAL_SECTION m_lock;
  CGuessLimitSettings m_settings GUARDED_BY(m_lock);
  CTable<std::u16string> m_users GUARDED_BY(m_lock);
  CTable<std::string> m_addresses GUARDED_BY(m_lock);
};

// The process's limiter; made on first use, since the load-time settings
// read may come before other static objects are constructed.
CGuessLimiter& GuessLimiter();

// Reads the settings above from the registry into GuessLimiter().
void ReadGuessLimitSettings();
