// A prepared SQLite statement that finalizes itself, with the few binding and
// reading calls the account store needs. Only names, numbers and hashes are
// ever bound: passwords never reach SQLite.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace platform {

class CSqlStatement {
 public:
  CSqlStatement(sqlite3* pDb, const char* pszSql) {
    if (sqlite3_prepare_v2(pDb, pszSql, -1, &m_pStmt, nullptr) != SQLITE_OK) m_pStmt = nullptr;
  }
  ~CSqlStatement() { sqlite3_finalize(m_pStmt); }
  CSqlStatement(const CSqlStatement&) = delete;
  CSqlStatement& operator=(const CSqlStatement&) = delete;

  bool Ok() const { return m_pStmt != nullptr; }
  CSqlStatement& Bind(int n, const std::string& text) {
    if (m_pStmt) sqlite3_bind_text(m_pStmt, n, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  CSqlStatement& Bind(int n, int64_t value) {
    if (m_pStmt) sqlite3_bind_int64(m_pStmt, n, value);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return m_pStmt ? sqlite3_step(m_pStmt) : SQLITE_ERROR; }
  // Runs a statement that returns no rows.
  bool Run() { return Step() == SQLITE_DONE; }
  int64_t Int(int n) { return sqlite3_column_int64(m_pStmt, n); }
  std::string Text(int n) {
    const unsigned char* pb = sqlite3_column_text(m_pStmt, n);
    return pb ? std::string(reinterpret_cast<const char*>(pb), sqlite3_column_bytes(m_pStmt, n)) : std::string();
  }

 private:
  sqlite3_stmt* m_pStmt = nullptr;
};

}  // namespace platform
