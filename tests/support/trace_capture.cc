#include "trace_capture.h"

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "admin/trace/extension_trace.h"
#include "platform/text/wstr.h"

extern char** environ;

namespace vlttest {
namespace {

bool CanConnect(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  const bool fConnected =
      fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) ::close(fd);
  return fConnected;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One item starting at line[i]; advances i past it.
bool ParseItem(const std::string& line, size_t& i, std::vector<uint8_t>* pItem) {
  pItem->clear();
  if (line[i] == '"') {
    std::string text;
    for (++i; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      text += line[i];
    }
    if (i >= line.size()) return false;
    ++i;
    std::u16string wide = platform::FromUtf8(text);
    wide.push_back(0);
    const auto* pb = reinterpret_cast<const uint8_t*>(wide.data());
    pItem->assign(pb, pb + wide.size() * 2);
    return true;
  }
  if (line[i] == '<') {
    for (++i; i + 1 < line.size() && line[i] != '>'; i += 2) {
      const int hi = HexValue(line[i]), lo = HexValue(line[i + 1]);
      if (hi < 0 || lo < 0) return false;
      pItem->push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    if (i >= line.size() || line[i] != '>') return false;
    ++i;
    return true;
  }
  const size_t iEnd = std::min(line.find(' ', i), line.size());
  char* pEnd = nullptr;
  const std::string number = line.substr(i, iEnd - i);
  const long n = std::strtol(number.c_str(), &pEnd, 10);
  if (number.empty() || *pEnd != 0) return false;
  const int32_t n32 = static_cast<int32_t>(n);
  const auto* pb = reinterpret_cast<const uint8_t*>(&n32);
  pItem->assign(pb, pb + 4);
  i = iEnd;
  return true;
}

}  // namespace

bool ParseTraceLine(const std::string& line, CapturedTraceRecord* pRecord) {
  std::istringstream fields(line);
  std::string sTime;
  *pRecord = CapturedTraceRecord{};
  if (!(fields >> sTime >> pRecord->nPid >> pRecord->sModule >> pRecord->sMessageGuid >>
        pRecord->nMessage))
    return false;
  size_t i = fields.eof() ? line.size() : static_cast<size_t>(fields.tellg());
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    std::vector<uint8_t> item;
    if (!ParseItem(line, i, &item)) return false;
    pRecord->rgItems.push_back(std::move(item));
  }
  return true;
}

CTraceCapture::CTraceCapture(TraceCaptureOptions options) {
  char szDir[] = "/tmp/vltqtr-capture-XXXXXX";
  if (mkdtemp(szDir) == nullptr) return;
  m_sDir = szDir;
  m_sSocketPath = options.sSocketPath.empty() ? m_sDir + "/device.sock" : options.sSocketPath;
  m_sOutputPath = m_sDir + "/records.txt";
  const char* pszBin = std::getenv("VLT_BUILD_BIN");
  const std::string program = std::string(pszBin != nullptr ? pszBin : ".") + "/vltqtr";

  std::vector<std::string> args = {program,     "--socket", m_sSocketPath,
                                   "--classes", options.sClasses,
                                   "--level",   std::to_string(options.nLevel),
                                   "--output",  m_sOutputPath};
  for (const auto& sModule : options.rgsModules) {
    args.push_back("--module");
    args.push_back(sModule);
  }
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return;
  m_pid = pid;
  bool fServing = false;
  for (int i = 0; i < 1000 && !(fServing = CanConnect(m_sSocketPath)); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (!fServing) {
    Stop();
    return;
  }
  setenv("VLTQTR_DEVICE", m_sSocketPath.c_str(), 1);
}

CTraceCapture::~CTraceCapture() {
  Stop();
  unsetenv("VLTQTR_DEVICE");
  if (!m_sDir.empty()) {
    ::unlink(m_sOutputPath.c_str());
    ::unlink((m_sDir + "/device.sock").c_str());
    ::rmdir(m_sDir.c_str());
  }
}

std::vector<CapturedTraceRecord> CTraceCapture::Stop() {
  if (m_pid > 0) {
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
  }
  return ReadRecords();
}

std::vector<CapturedTraceRecord> CTraceCapture::ReadRecords() const {
  std::vector<CapturedTraceRecord> records;
  std::ifstream output(m_sOutputPath);
  std::string line;
  while (std::getline(output, line)) {
    CapturedTraceRecord record;
    if (ParseTraceLine(line, &record)) records.push_back(std::move(record));
  }
  return records;
}

std::vector<CapturedTraceRecord> CTraceCapture::WaitForRecords(size_t n) const {
  std::vector<CapturedTraceRecord> records = ReadRecords();
  for (int i = 0; i < 500 && records.size() < n; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    records = ReadRecords();
  }
  return records;
}

std::vector<CapturedTraceRecord> CaptureTraceRecords(const std::function<void()>& scenario) {
  CTraceCapture capture;
  if (!capture.Started()) return {};
  TraceExtensionResetForTesting();
  TraceExtensionAttach();
  scenario();
  return capture.Stop();
}

bool TraceRecordsContain(const std::vector<CapturedTraceRecord>& records,
                         std::u16string_view sText) {
  if (sText.empty()) return false;
  const auto* pbWide = reinterpret_cast<const uint8_t*>(sText.data());
  const std::vector<uint8_t> wide(pbWide, pbWide + sText.size() * 2);
  const std::string narrow = platform::ToUtf8(sText);
  const std::vector<uint8_t> utf8(narrow.begin(), narrow.end());
  for (const auto& record : records) {
    for (const auto& item : record.rgItems) {
      for (const auto* pattern : {&wide, &utf8}) {
        if (std::search(item.begin(), item.end(), pattern->begin(), pattern->end()) != item.end())
          return true;
      }
    }
  }
  return false;
}

}  // namespace vlttest
