// CAccountStore::ChangePassword: decide on a consistent snapshot, hashing
// outside any lock, then apply the outcome in one BEGIN IMMEDIATE transaction
// that first checks the user's row is still the one the decision was made on.
#include <sqlite3.h>

#include <vector>

#include "platform/netapi/local/account_store.h"
#include "platform/netapi/netapi.h"
#include "platform/netapi/local/password_hash.h"
#include "platform/netapi/local/sqlite_statement.h"

namespace platform {
namespace {

// A change that lost the race to another one is decided again from the new
// row; a handful of rounds is plenty (the loser then meets a wrong password).
constexpr int kMaxRounds = 8;

struct CUserSnapshot {
  std::string hash;
  int64_t nChanged = 0;
  bool fLocked = false;
  std::vector<std::string> history;  // newest first
};

// What the decision asks to be written.
enum class EApply { None, BadPassword, NewPassword };

}  // namespace

NET_API_STATUS CAccountStore::ChangePassword(const std::string& name, const char* pszOld, const char* pszNew) {
  if (pszOld == nullptr || pszNew == nullptr) return ERROR_INVALID_PARAMETER;
  for (int nRound = 0; nRound < kMaxRounds; ++nRound) {
    CUserSnapshot user;
    CAccountPolicy policy;
    {
      if (!Exec("BEGIN")) return ERROR_INTERNAL_ERROR;
      bool fFound = false, fRead = GetPolicy(policy);
      {
        CSqlStatement select(m_pDb, "SELECT hash, changed, locked FROM users WHERE name = ?1");
        int rc = select.Bind(1, name).Step();
        fRead = fRead && (rc == SQLITE_ROW || rc == SQLITE_DONE);
        if (rc == SQLITE_ROW) {
          fFound = true;
          user.hash = select.Text(0);
          user.nChanged = select.Int(1);
          user.fLocked = select.Int(2) != 0;
        }
      }
      if (fFound) {
        CSqlStatement select(m_pDb, "SELECT hash FROM history WHERE name = ?1 ORDER BY seq DESC");
        select.Bind(1, name);
        int rc;
        while ((rc = select.Step()) == SQLITE_ROW) user.history.push_back(select.Text(0));
        fRead = fRead && rc == SQLITE_DONE;
      }
      Exec("COMMIT");
      if (!fRead) {
        m_lastError = sqlite3_errmsg(m_pDb);
        return ERROR_INTERNAL_ERROR;
      }
      if (!fFound) return NERR_UserNotFound;
    }
    if (user.fLocked) return ERROR_ACCOUNT_LOCKED_OUT;

    // The old password first: a wrong one never learns the policy.
    EApply eApply = EApply::NewPassword;
    NET_API_STATUS status = NERR_Success;
    std::string newHash;
    if (!VerifyPassword(pszOld, user.hash)) {
      eApply = EApply::BadPassword;
      status = ERROR_INVALID_PASSWORD;
    } else if (policy.nMinAgeSeconds > 0 && Now() - user.nChanged < policy.nMinAgeSeconds) {
      return NERR_PasswordTooRecent;
    } else if (!MeetsLengthAndComplexity(pszNew, policy.nMinLength, policy.fComplexity)) {
      return NERR_PasswordTooShort;
    } else {
      if (policy.nHistory > 0) {
        if (VerifyPassword(pszNew, user.hash)) return NERR_PasswordHistConflict;
        for (size_t i = 0; i + 1 < policy.nHistory && i < user.history.size(); ++i)
          if (VerifyPassword(pszNew, user.history[i])) return NERR_PasswordHistConflict;
      }
      if (!HashPassword(pszNew, newHash)) {
        m_lastError = "the password could not be hashed";
        return ERROR_INTERNAL_ERROR;
      }
    }

    if (!Exec("BEGIN IMMEDIATE")) return ERROR_INTERNAL_ERROR;
    bool fSame = false, fGone = false;
    {
      CSqlStatement select(m_pDb, "SELECT hash, changed, locked FROM users WHERE name = ?1");
      int rc = select.Bind(1, name).Step();
      if (rc == SQLITE_ROW) {
        fSame = select.Text(0) == user.hash && select.Int(1) == user.nChanged && select.Int(2) == 0;
      } else {
        fGone = true;
      }
    }
    if (!fSame) {
      Exec("ROLLBACK");
      if (fGone) return NERR_UserNotFound;
      continue;  // another change came first: decide again
    }
    bool fWritten;
    if (eApply == EApply::BadPassword) {
      CSqlStatement update(m_pDb,
                           "UPDATE users SET bad_count = bad_count + 1,"
                           " locked = (?2 > 0 AND bad_count + 1 >= ?2) WHERE name = ?1");
      fWritten = update.Bind(1, name).Bind(2, int64_t{policy.nLockoutThreshold}).Run();
    } else {
      CSqlStatement update(m_pDb, "UPDATE users SET hash = ?2, changed = ?3, bad_count = 0 WHERE name = ?1");
      CSqlStatement remember(m_pDb,
                             "INSERT INTO history(name, seq, hash) SELECT ?1, COALESCE(MAX(seq), 0) + 1, ?2"
                             " FROM history WHERE name = ?1");
      // The current password is the first of the history's count; the table
      // keeps the ones before it.
      CSqlStatement trim(m_pDb,
                         "DELETE FROM history WHERE name = ?1 AND seq NOT IN"
                         " (SELECT seq FROM history WHERE name = ?1 ORDER BY seq DESC LIMIT ?2)");
      int64_t nKeep = policy.nHistory > 1 ? policy.nHistory - 1 : 0;
      fWritten = update.Bind(1, name).Bind(2, newHash).Bind(3, Now()).Run() &&
                 remember.Bind(1, name).Bind(2, user.hash).Run() && trim.Bind(1, name).Bind(2, nKeep).Run();
    }
    if (!fWritten || !Exec("COMMIT")) {
      m_lastError = sqlite3_errmsg(m_pDb);
      Exec("ROLLBACK");
      return ERROR_INTERNAL_ERROR;
    }
    return status;
  }
  return ERROR_INTERNAL_ERROR;
}

}  // namespace platform
