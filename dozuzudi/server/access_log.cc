#include "server/access_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

CAccessLog::~CAccessLog() {
  CMutexLock guard(&m_lock);
  if (m_pFile != nullptr) std::fclose(m_pFile);
}

namespace {

// Created 0640 and never through a symbolic link (one planted in a writable
// directory would point the log at another file).
FILE* OpenForAppend(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640);
  if (fd < 0) return nullptr;
  FILE* pFile = fdopen(fd, "a");
  if (pFile == nullptr) close(fd);
  return pFile;
}

}  // namespace

bool CAccessLog::Open(const std::string& path, std::string& err) {
  FILE* pFile = OpenForAppend(path);
  if (pFile == nullptr) {
    err = "cannot open access log " + path + ": " + std::strerror(errno);
    return false;
  }
  CMutexLock guard(&m_lock);
  m_pFile = pFile;
  m_path = path;
  return true;
}

bool CAccessLog::Reopen(std::string& err) {
  if (m_path.empty()) return true;
  FILE* pNew = OpenForAppend(m_path);
  if (pNew == nullptr) {
    err = "cannot open access log " + m_path + " again: " + std::strerror(errno);
    return false;
  }
  CMutexLock guard(&m_lock);
  std::fclose(m_pFile);
  m_pFile = pNew;
  return true;
}

namespace {

// Keeps control characters and quotes of request data out of the log line.
void AppendSanitized(std::string& line, std::string_view text) {
  for (char c : text) {
    unsigned char uc = static_cast<unsigned char>(c);
    line.push_back(uc < 0x20 || uc == 0x7f || c == '"' || c == '\\' ? '?' : c);
  }
}

}  // namespace

void CAccessLog::Write(std::string_view peer, std::string_view method, std::string_view path,
                       int nStatus, uint64_t cbSent, std::chrono::steady_clock::duration duration) {
  if (m_path.empty()) return;
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  tm utc;
  gmtime_r(&ts.tv_sec, &utc);
  char szTime[96];
  std::snprintf(szTime, sizeof(szTime), "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ts.tv_nsec / 1000000));
  std::string line;
  line.reserve(128 + path.size());
  line.append(szTime).append(" ").append(peer).append(" \"");
  AppendSanitized(line, method.substr(0, 32));
  line.append(" ");
  AppendSanitized(line, path.substr(0, 1024));
  char szTail[96];
  double ms = std::chrono::duration<double, std::milli>(duration).count();
  std::snprintf(szTail, sizeof(szTail), "\" %d %llu %.3fms\n", nStatus,
                static_cast<unsigned long long>(cbSent), ms);
  line.append(szTail);
  CMutexLock guard(&m_lock);
  std::fwrite(line.data(), 1, line.size(), m_pFile);
  std::fflush(m_pFile);
}
