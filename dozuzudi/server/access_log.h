// One line per request: time, peer, method, path, status, bytes sent and
// duration. Never the query string or the body, which may carry secrets.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "server/host_mutex.h"

class CAccessLog {
 public:
  CAccessLog() = default;
  ~CAccessLog();
  CAccessLog(const CAccessLog&) = delete;
  CAccessLog& operator=(const CAccessLog&) = delete;

  // Opens |path| for appending. Returns false with a message in |err|.
  bool Open(const std::string& path, std::string& err);
  bool IsOpen() const { return !m_path.empty(); }
  // Opens the file of the same name again (after a log rotation renamed
  // it). Lines written meanwhile go to the old file; on failure they keep
  // going there. False with a message in |err|.
  bool Reopen(std::string& err) EXCLUDES(m_lock);

  // Safe from any thread.
  void Write(std::string_view peer, std::string_view method, std::string_view path, int nStatus,
             uint64_t cbSent, std::chrono::steady_clock::duration duration) EXCLUDES(m_lock);

 private:
  CMutex m_lock;
  std::string m_path;  // set by Open before any thread writes
  FILE* m_pFile GUARDED_BY(m_lock) = nullptr;
};
