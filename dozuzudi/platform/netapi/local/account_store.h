// The embedded account store: users and their password hashes in one SQLite
// file, with a password policy. It stands behind NetUserChangePassword for
// domains whose provider is "local" (netapi.h), and vltadmin-accounts
// administers it.
//
// File: SQLite in WAL mode, so readers never wait for the writer. Tables:
// policy (one row), users (name, yescrypt hash, time of the last change, bad
// password count, locked flag) and history (earlier hashes per user). User
// names compare without regard to ASCII case.
//
// Passwords: UTF-8, NUL-terminated, handed in by the caller, who wipes them;
// the store wipes every copy it makes. Hashes are yescrypt ("$y$") from
// libcrypt with a fresh random salt each.
//
// ChangePassword, in this order:
//   1. unknown user                    NERR_UserNotFound
//   2. account locked                  ERROR_ACCOUNT_LOCKED_OUT
//   3. wrong old password              ERROR_INVALID_PASSWORD; the bad password
//      count rises by one, and the account locks when it reaches a non-zero
//      lockout threshold
//   4. changed less than nMinAgeSeconds ago (creation counts as a change)
//                                      NERR_PasswordTooRecent
//   5. fewer than nMinLength UTF-16 units, or complexity on and fewer than
//      three of the four classes A-Z, a-z, 0-9, any other character
//                                      NERR_PasswordTooShort
//   6. equal to the current password or one of the nHistory - 1 before it
//      (history 0 allows any reuse)    NERR_PasswordHistConflict
//   7. otherwise the new hash is stored, the time of change set, the bad
//      password count cleared and the old hash kept in the history.
// Each change is one transaction (BEGIN IMMEDIATE) that re-checks the row the
// decision was made on, so when several threads or processes change the same
// user at once each change is applied whole or not at all, and only one of
// several changes from the same old password succeeds. The slow hashing runs
// outside the write lock. A busy store is waited for (busy_timeout).
//
// Groups: domain groups hold users of the store; local groups hold users
// and domain groups of the store, and accounts of other domains (a domain
// and a name, marked user or group). Users and groups share one namespace.
// Deleting an account removes it from every group of the store. The group
// tables are added to a store made before they existed when it is opened.
//
// Thread safety: a CAccountStore belongs to one thread at a time; open one
// per thread (opening is cheap). Any number may be open on one file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

struct sqlite3;

namespace platform {

struct CAccountPolicy {
  uint32_t nMinLength = 8;
  bool fComplexity = true;
  uint32_t nHistory = 3;
  int64_t nMinAgeSeconds = 0;
  uint32_t nLockoutThreshold = 5;  // 0: never lock
};

struct CGroupInfo {
  std::string name;
  bool fLocal = false;
  uint32_t cMembers = 0;
};

// A member of a group: domain "" is the store itself.
struct CGroupMember {
  std::string domain;
  std::string name;
  bool fGroup = false;
};

struct CAccountInfo {
  std::string name;
  int64_t nChanged = 0;  // seconds since the epoch
  uint32_t nBadCount = 0;
  bool fLocked = false;
};

class CAccountStore {
 public:
  ~CAccountStore();
  CAccountStore(const CAccountStore&) = delete;
  CAccountStore& operator=(const CAccountStore&) = delete;

  // Opens an existing store. Null, with |error| set (the path and why),
  // when the file is missing, cannot be opened or is not a store.
  static std::unique_ptr<CAccountStore> Open(const std::string& path, std::string& error);
  // Creates a new store with |policy|. Null when the file exists already.
  static std::unique_ptr<CAccountStore> Create(const std::string& path, const CAccountPolicy& policy,
                                               std::string& error);

  bool GetPolicy(CAccountPolicy& policy);
  bool SetPolicy(const CAccountPolicy& policy);

  // Administration; each answers 0, NERR_UserExists, NERR_UserNotFound,
  // ERROR_INVALID_PARAMETER (empty name) or ERROR_INTERNAL_ERROR. AddUser
  // does not apply the policy to the first password.
  DWORD AddUser(const std::string& name, const char* pszPassword);
  DWORD DeleteUser(const std::string& name);
  DWORD Unlock(const std::string& name);  // clears the lock and the count
  bool ListUsers(std::vector<CAccountInfo>& users);
  bool GetUser(const std::string& name, CAccountInfo& info);

  // Groups. AddGroup: 0, NERR_GroupExists (a user or group has the name),
  // ERROR_INVALID_PARAMETER (empty name or one with "\\"),
  // ERROR_INTERNAL_ERROR. DeleteGroup and GetGroupMembers: 0,
  // NERR_GroupNotFound, ERROR_INTERNAL_ERROR.
  DWORD AddGroup(const std::string& name, bool fLocal);
  DWORD DeleteGroup(const std::string& name);
  bool ListGroups(std::vector<CGroupInfo>& groups);
  bool GetGroup(const std::string& name, CGroupInfo& info);
  // Members in the order of their names; a store member's name is spelled
  // as the account is.
  DWORD GetGroupMembers(const std::string& name, std::vector<CGroupMember>& members);
  // A member of the store is given with an empty domain and must exist
  // (NERR_UserNotFound); its kind is the account's. Answers 0,
  // NERR_GroupNotFound, NERR_UserNotFound, NERR_UserInGroup (already a
  // member), ERROR_INVALID_MEMBER (a group, or another domain's account, in
  // a domain group; a local group as a member), ERROR_INVALID_PARAMETER,
  // ERROR_INTERNAL_ERROR.
  DWORD AddGroupMember(const std::string& group, const CGroupMember& member);
  // 0, NERR_GroupNotFound, NERR_UserNotInGroup, ERROR_INTERNAL_ERROR.
  DWORD RemoveGroupMember(const std::string& group, const CGroupMember& member);

  // The change described above. Passwords: NUL-terminated UTF-8.
  NET_API_STATUS ChangePassword(const std::string& name, const char* pszOld, const char* pszNew);

  // How long a change waits for another writer before it fails (10 s
  // after Open).
  void SetBusyTimeout(int nMilliseconds);

  // The clock, seconds since the epoch (tests move it).
  void SetClock(std::function<int64_t()> clock) { m_clock = std::move(clock); }
  // The last SQLite or libcrypt failure, for the tool's messages.
  const std::string& LastError() const { return m_lastError; }

 private:
  explicit CAccountStore(sqlite3* pDb) : m_pDb(pDb) {}
  bool Exec(const char* pszSql);
  // Adds the group tables to a store that has none.
  bool EnsureGroupTables();
  int64_t Now() const;

  sqlite3* m_pDb;
  std::function<int64_t()> m_clock;
  std::string m_lastError;
};

}  // namespace platform
VLT_API_END
