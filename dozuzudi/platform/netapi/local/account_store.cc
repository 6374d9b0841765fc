// The account store's file, policy and user administration. The password
// change itself is in account_store_change.cc.
#include "platform/netapi/local/account_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/netapi/netapi.h"
#include "platform/netapi/local/password_hash.h"
#include "platform/netapi/local/sqlite_statement.h"

namespace platform {
namespace {

constexpr int kBusyTimeoutMs = 10000;

const char kSchema[] =
    "CREATE TABLE vlt_store(format INTEGER NOT NULL);"
    "INSERT INTO vlt_store VALUES(1);"
    "CREATE TABLE policy(id INTEGER PRIMARY KEY CHECK (id = 1),"
    " min_length INTEGER NOT NULL, complexity INTEGER NOT NULL, history INTEGER NOT NULL,"
    " min_age INTEGER NOT NULL, lockout_threshold INTEGER NOT NULL);"
    "CREATE TABLE users(name TEXT PRIMARY KEY COLLATE NOCASE, hash TEXT NOT NULL,"
    " changed INTEGER NOT NULL, bad_count INTEGER NOT NULL DEFAULT 0,"
    " locked INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE history(name TEXT NOT NULL COLLATE NOCASE, seq INTEGER NOT NULL,"
    " hash TEXT NOT NULL, PRIMARY KEY(name, seq));";

// Added later: stores made before groups existed get them when opened.
const char kGroupSchema[] =
    "CREATE TABLE IF NOT EXISTS groups(name TEXT PRIMARY KEY COLLATE NOCASE,"
    " local INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS group_members(group_name TEXT NOT NULL COLLATE NOCASE,"
    " domain TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,"
    " is_group INTEGER NOT NULL, PRIMARY KEY(group_name, domain, name));";

sqlite3* OpenFile(const std::string& path, std::string& error) {
  sqlite3* pDb = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &pDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    error = path + ": " + (pDb ? sqlite3_errmsg(pDb) : sqlite3_errstr(rc));
    sqlite3_close(pDb);
    return nullptr;
  }
  sqlite3_busy_timeout(pDb, kBusyTimeoutMs);
  return pDb;
}

}  // namespace

CAccountStore::~CAccountStore() { sqlite3_close(m_pDb); }

std::unique_ptr<CAccountStore> CAccountStore::Open(const std::string& path, std::string& error) {
  if (access(path.c_str(), F_OK) != 0) {
    error = path + ": no such store (" + std::strerror(errno) + ")";
    return nullptr;
  }
  sqlite3* pDb = OpenFile(path, error);
  if (pDb == nullptr) return nullptr;
  std::unique_ptr<CAccountStore> pStore(new CAccountStore(pDb));
  {
    CSqlStatement format(pDb, "SELECT format FROM vlt_store");
    if (!format.Ok() || format.Step() != SQLITE_ROW || format.Int(0) != 1) {
      error = path + ": not an account store (" + sqlite3_errmsg(pDb) + ")";
      return nullptr;
    }
  }
  if (!pStore->EnsureGroupTables()) {
    error = path + ": " + pStore->LastError();
    return nullptr;
  }
  return pStore;
}

bool CAccountStore::EnsureGroupTables() {
  {
    CSqlStatement probe(m_pDb, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'group_members'");
    if (probe.Step() == SQLITE_ROW) return true;
  }
  if (Exec("BEGIN IMMEDIATE") && Exec(kGroupSchema) && Exec("COMMIT")) return true;
  Exec("ROLLBACK");
  return false;
}

std::unique_ptr<CAccountStore> CAccountStore::Create(const std::string& path, const CAccountPolicy& policy,
                                                     std::string& error) {
  // The file is made here, exclusively and readable by its owner only: it
  // holds password hashes.
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = path + (errno == EEXIST ? ": exists already" : ": cannot be created");
    return nullptr;
  }
  close(fd);
  sqlite3* pDb = OpenFile(path, error);
  if (pDb == nullptr) return nullptr;
  std::unique_ptr<CAccountStore> pStore(new CAccountStore(pDb));
  if (!pStore->Exec("PRAGMA journal_mode=WAL") || !pStore->Exec("BEGIN IMMEDIATE") ||
      !pStore->Exec(kSchema) || !pStore->Exec(kGroupSchema) ||
      !pStore->Exec("INSERT INTO policy VALUES(1, 0, 0, 0, 0, 0)") || !pStore->SetPolicy(policy) ||
      !pStore->Exec("COMMIT")) {
    error = path + ": " + pStore->LastError();
    pStore.reset();
    unlink(path.c_str());
    return nullptr;
  }
  return pStore;
}

bool CAccountStore::Exec(const char* pszSql) {
  char* pszError = nullptr;
  if (sqlite3_exec(m_pDb, pszSql, nullptr, nullptr, &pszError) == SQLITE_OK) return true;
  m_lastError = pszError ? pszError : sqlite3_errmsg(m_pDb);
  sqlite3_free(pszError);
  return false;
}

void CAccountStore::SetBusyTimeout(int nMilliseconds) { sqlite3_busy_timeout(m_pDb, nMilliseconds); }

int64_t CAccountStore::Now() const { return m_clock ? m_clock() : static_cast<int64_t>(time(nullptr)); }

bool CAccountStore::GetPolicy(CAccountPolicy& policy) {
  CSqlStatement select(m_pDb,
                       "SELECT min_length, complexity, history, min_age, lockout_threshold FROM policy");
  if (select.Step() != SQLITE_ROW) {
    m_lastError = sqlite3_errmsg(m_pDb);
    return false;
  }
  policy.nMinLength = static_cast<uint32_t>(select.Int(0));
  policy.fComplexity = select.Int(1) != 0;
  policy.nHistory = static_cast<uint32_t>(select.Int(2));
  policy.nMinAgeSeconds = select.Int(3);
  policy.nLockoutThreshold = static_cast<uint32_t>(select.Int(4));
  return true;
}

bool CAccountStore::SetPolicy(const CAccountPolicy& policy) {
  CSqlStatement update(m_pDb,
                       "UPDATE policy SET min_length = ?1, complexity = ?2, history = ?3, min_age = ?4,"
                       " lockout_threshold = ?5");
  update.Bind(1, int64_t{policy.nMinLength})
      .Bind(2, int64_t{policy.fComplexity ? 1 : 0})
      .Bind(3, int64_t{policy.nHistory})
      .Bind(4, policy.nMinAgeSeconds)
      .Bind(5, int64_t{policy.nLockoutThreshold});
  if (update.Run()) return true;
  m_lastError = sqlite3_errmsg(m_pDb);
  return false;
}

DWORD CAccountStore::AddUser(const std::string& name, const char* pszPassword) {
  if (name.empty() || pszPassword == nullptr) return ERROR_INVALID_PARAMETER;
  std::string hash;
  if (!HashPassword(pszPassword, hash)) {
    m_lastError = "the password could not be hashed";
    return ERROR_INTERNAL_ERROR;
  }
  // Users and groups share one namespace.
  if (!Exec("BEGIN IMMEDIATE")) return ERROR_INTERNAL_ERROR;
  CSqlStatement group(m_pDb, "SELECT 1 FROM groups WHERE name = ?1");
  int rc = group.Bind(1, name).Step();
  if (rc == SQLITE_ROW) {
    Exec("ROLLBACK");
    return NERR_UserExists;
  }
  CSqlStatement insert(m_pDb, "INSERT INTO users(name, hash, changed) VALUES(?1, ?2, ?3)");
  insert.Bind(1, name).Bind(2, hash).Bind(3, Now());
  rc = rc == SQLITE_DONE ? insert.Step() : rc;
  if (rc == SQLITE_DONE && Exec("COMMIT")) return NERR_Success;
  if (rc != SQLITE_CONSTRAINT) m_lastError = sqlite3_errmsg(m_pDb);
  Exec("ROLLBACK");
  return rc == SQLITE_CONSTRAINT ? NERR_UserExists : ERROR_INTERNAL_ERROR;
}

DWORD CAccountStore::DeleteUser(const std::string& name) {
  if (!Exec("BEGIN IMMEDIATE")) return ERROR_INTERNAL_ERROR;
  CSqlStatement remove(m_pDb, "DELETE FROM users WHERE name = ?1");
  if (!remove.Bind(1, name).Run()) {
    m_lastError = sqlite3_errmsg(m_pDb);
    Exec("ROLLBACK");
    return ERROR_INTERNAL_ERROR;
  }
  if (sqlite3_changes(m_pDb) == 0) {
    Exec("ROLLBACK");
    return NERR_UserNotFound;
  }
  CSqlStatement forget(m_pDb, "DELETE FROM history WHERE name = ?1");
  CSqlStatement leave(m_pDb, "DELETE FROM group_members WHERE domain = '' AND name = ?1 AND is_group = 0");
  if (!forget.Bind(1, name).Run() || !leave.Bind(1, name).Run()) {
    m_lastError = sqlite3_errmsg(m_pDb);
    Exec("ROLLBACK");
    return ERROR_INTERNAL_ERROR;
  }
  return Exec("COMMIT") ? NERR_Success : ERROR_INTERNAL_ERROR;
}

DWORD CAccountStore::Unlock(const std::string& name) {
  CSqlStatement update(m_pDb, "UPDATE users SET locked = 0, bad_count = 0 WHERE name = ?1");
  if (!update.Bind(1, name).Run()) {
    m_lastError = sqlite3_errmsg(m_pDb);
    return ERROR_INTERNAL_ERROR;
  }
  return sqlite3_changes(m_pDb) == 1 ? NERR_Success : NERR_UserNotFound;
}

bool CAccountStore::ListUsers(std::vector<CAccountInfo>& users) {
  users.clear();
  CSqlStatement select(m_pDb, "SELECT name, changed, bad_count, locked FROM users ORDER BY name");
  int rc;
  while ((rc = select.Step()) == SQLITE_ROW)
    users.push_back({select.Text(0), select.Int(1), static_cast<uint32_t>(select.Int(2)), select.Int(3) != 0});
  if (rc == SQLITE_DONE) return true;
  m_lastError = sqlite3_errmsg(m_pDb);
  return false;
}

bool CAccountStore::GetUser(const std::string& name, CAccountInfo& info) {
  CSqlStatement select(m_pDb, "SELECT name, changed, bad_count, locked FROM users WHERE name = ?1");
  if (select.Bind(1, name).Step() != SQLITE_ROW) return false;
  info = {select.Text(0), select.Int(1), static_cast<uint32_t>(select.Int(2)), select.Int(3) != 0};
  return true;
}

}  // namespace platform
