// The account store's groups and their members.
#include <sqlite3.h>

#include "platform/netapi/local/account_store.h"
#include "platform/netapi/local/sqlite_statement.h"
#include "platform/netapi/netapi.h"

namespace platform {
namespace {

// A transaction that rolls back unless committed.
class CTransaction {
 public:
  explicit CTransaction(sqlite3* pDb) : m_pDb(pDb) {
    m_fOpen = sqlite3_exec(pDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~CTransaction() {
    if (m_fOpen) sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  bool Open() const { return m_fOpen; }
  bool Commit() {
    m_fOpen = false;
    return sqlite3_exec(m_pDb, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  }

 private:
  sqlite3* m_pDb;
  bool m_fOpen;
};

// The kind of a group of the store: 1 local, 0 domain, -1 none, -2 failed.
int GroupKind(sqlite3* pDb, const std::string& name, std::string* pSpelling = nullptr) {
  CSqlStatement select(pDb, "SELECT local, name FROM groups WHERE name = ?1");
  int rc = select.Bind(1, name).Step();
  if (rc == SQLITE_DONE) return -1;
  if (rc != SQLITE_ROW) return -2;
  if (pSpelling != nullptr) *pSpelling = select.Text(1);
  return select.Int(0) != 0 ? 1 : 0;
}

// The user's name as the store spells it; false when there is none.
bool UserSpelling(sqlite3* pDb, const std::string& name, std::string* pSpelling) {
  CSqlStatement select(pDb, "SELECT name FROM users WHERE name = ?1");
  if (select.Bind(1, name).Step() != SQLITE_ROW) return false;
  *pSpelling = select.Text(0);
  return true;
}

}  // namespace

DWORD CAccountStore::AddGroup(const std::string& name, bool fLocal) {
  if (name.empty() || name.find('\\') != std::string::npos) return ERROR_INVALID_PARAMETER;
  CTransaction transaction(m_pDb);
  if (!transaction.Open()) {
    m_lastError = sqlite3_errmsg(m_pDb);
    return ERROR_INTERNAL_ERROR;
  }
  std::string spelling;
  if (UserSpelling(m_pDb, name, &spelling)) return NERR_GroupExists;
  CSqlStatement insert(m_pDb, "INSERT INTO groups(name, local) VALUES(?1, ?2)");
  int rc = insert.Bind(1, name).Bind(2, int64_t{fLocal ? 1 : 0}).Step();
  if (rc == SQLITE_CONSTRAINT) return NERR_GroupExists;
  if (rc != SQLITE_DONE || !transaction.Commit()) {
    m_lastError = sqlite3_errmsg(m_pDb);
    return ERROR_INTERNAL_ERROR;
  }
  return NERR_Success;
}

DWORD CAccountStore::DeleteGroup(const std::string& name) {
  CTransaction transaction(m_pDb);
  CSqlStatement remove(m_pDb, "DELETE FROM groups WHERE name = ?1");
  if (!transaction.Open() || !remove.Bind(1, name).Run()) {
    m_lastError = sqlite3_errmsg(m_pDb);
    return ERROR_INTERNAL_ERROR;
  }
  if (sqlite3_changes(m_pDb) == 0) return NERR_GroupNotFound;
  // Its own members, and its places in local groups.
  CSqlStatement members(m_pDb, "DELETE FROM group_members WHERE group_name = ?1");
  CSqlStatement places(m_pDb, "DELETE FROM group_members WHERE domain = '' AND name = ?1 AND is_group = 1");
  if (!members.Bind(1, name).Run() || !places.Bind(1, name).Run() || !transaction.Commit()) {
    m_lastError = sqlite3_errmsg(m_pDb);
    return ERROR_INTERNAL_ERROR;
  }
  return NERR_Success;
}

bool CAccountStore::ListGroups(std::vector<CGroupInfo>& groups) {
  groups.clear();
  CSqlStatement select(m_pDb,
                       "SELECT g.name, g.local, (SELECT COUNT(*) FROM group_members m WHERE m.group_name = g.name)"
                       " FROM groups g ORDER BY g.name");
  int rc;
  while ((rc = select.Step()) == SQLITE_ROW)
    groups.push_back({select.Text(0), select.Int(1) != 0, static_cast<uint32_t>(select.Int(2))});
  if (rc == SQLITE_DONE) return true;
  m_lastError = sqlite3_errmsg(m_pDb);
  return false;
}

bool CAccountStore::GetGroup(const std::string& name, CGroupInfo& info) {
  CSqlStatement select(m_pDb,
                       "SELECT g.name, g.local, (SELECT COUNT(*) FROM group_members m WHERE m.group_name = g.name)"
                       " FROM groups g WHERE g.name = ?1");
  if (select.Bind(1, name).Step() != SQLITE_ROW) return false;
  info = {select.Text(0), select.Int(1) != 0, static_cast<uint32_t>(select.Int(2))};
  return true;
}

DWORD CAccountStore::GetGroupMembers(const std::string& name, std::vector<CGroupMember>& members) {
  members.clear();
  int nKind = GroupKind(m_pDb, name);
  if (nKind == -1) return NERR_GroupNotFound;
  CSqlStatement select(m_pDb,
                       "SELECT domain, name, is_group FROM group_members WHERE group_name = ?1"
                       " ORDER BY domain, name");
  select.Bind(1, name);
  int rc = nKind == -2 ? SQLITE_ERROR : SQLITE_ROW;
  while (rc == SQLITE_ROW && (rc = select.Step()) == SQLITE_ROW)
    members.push_back({select.Text(0), select.Text(1), select.Int(2) != 0});
  if (rc == SQLITE_DONE) return NERR_Success;
  m_lastError = sqlite3_errmsg(m_pDb);
  return ERROR_INTERNAL_ERROR;
}

DWORD CAccountStore::AddGroupMember(const std::string& group, const CGroupMember& member) {
  if (member.name.empty() || member.name.find('\\') != std::string::npos ||
      member.domain.find('\\') != std::string::npos)
    return ERROR_INVALID_PARAMETER;
  CTransaction transaction(m_pDb);
  if (!transaction.Open()) {
    m_lastError = sqlite3_errmsg(m_pDb);
    return ERROR_INTERNAL_ERROR;
  }
  int nKind = GroupKind(m_pDb, group);
  if (nKind == -2) return ERROR_INTERNAL_ERROR;
  if (nKind == -1) return NERR_GroupNotFound;
  CGroupMember stored = member;
  if (member.domain.empty()) {
    // An account of the store: its kind and spelling are the store's.
    int nMemberKind = GroupKind(m_pDb, member.name, &stored.name);
    if (nMemberKind == -2) return ERROR_INTERNAL_ERROR;
    if (nMemberKind == 1) return ERROR_INVALID_MEMBER;  // local groups do not nest
    stored.fGroup = nMemberKind == 0;
    if (!stored.fGroup && !UserSpelling(m_pDb, member.name, &stored.name)) return NERR_UserNotFound;
  }
  // A domain group holds users of the store only.
  if (nKind == 0 && (stored.fGroup || !stored.domain.empty())) return ERROR_INVALID_MEMBER;
  CSqlStatement insert(m_pDb, "INSERT INTO group_members(group_name, domain, name, is_group) VALUES(?1, ?2, ?3, ?4)");
  int rc = insert.Bind(1, group).Bind(2, stored.domain).Bind(3, stored.name).Bind(4, int64_t{stored.fGroup ? 1 : 0}).Step();
  if (rc == SQLITE_CONSTRAINT) return NERR_UserInGroup;
  if (rc != SQLITE_DONE || !transaction.Commit()) {
    m_lastError = sqlite3_errmsg(m_pDb);
    return ERROR_INTERNAL_ERROR;
  }
  return NERR_Success;
}

DWORD CAccountStore::RemoveGroupMember(const std::string& group, const CGroupMember& member) {
  CTransaction transaction(m_pDb);
  if (!transaction.Open()) {
    m_lastError = sqlite3_errmsg(m_pDb);
    return ERROR_INTERNAL_ERROR;
  }
  int nKind = GroupKind(m_pDb, group);
  if (nKind == -2) return ERROR_INTERNAL_ERROR;
  if (nKind == -1) return NERR_GroupNotFound;
  CSqlStatement remove(m_pDb, "DELETE FROM group_members WHERE group_name = ?1 AND domain = ?2 AND name = ?3");
  if (!remove.Bind(1, group).Bind(2, member.domain).Bind(3, member.name).Run()) {
    m_lastError = sqlite3_errmsg(m_pDb);
    return ERROR_INTERNAL_ERROR;
  }
  if (sqlite3_changes(m_pDb) == 0) return NERR_UserNotInGroup;
  if (!transaction.Commit()) {
    m_lastError = sqlite3_errmsg(m_pDb);
    return ERROR_INTERNAL_ERROR;
  }
  return NERR_Success;
}

}  // namespace platform
