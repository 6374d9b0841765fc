// Capturing trace records in tests: runs the vltqtr collector (from
// VLT_BUILD_BIN) as a child process on a private socket and points
// VLTQTR_DEVICE at it, so that modules registering meanwhile trace to it.
//
//   auto records = vlttest::CaptureTraceRecords([&] { ...scenario... });
//   EXPECT_FALSE(vlttest::TraceRecordsContain(records, u"S3cret!"));
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vlttest {

struct CapturedTraceRecord {
  int nPid = 0;
  std::string sModule;
  std::string sMessageGuid;  // "{xxxxxxxx-...}", lower case
  unsigned nMessage = 0;
  std::vector<std::vector<uint8_t>> rgItems;  // each item's bytes as sent
};

struct TraceCaptureOptions {
  std::string sClasses = "all";        // --classes
  int nLevel = 255;                    // --level
  std::vector<std::string> rgsModules;  // --module ...; empty: all
  std::string sSocketPath;             // empty: a fresh temporary path
};

class CTraceCapture {
 public:
  // Starts vltqtr and waits until it serves its socket; sets VLTQTR_DEVICE.
  explicit CTraceCapture(TraceCaptureOptions options = {});
  // Stops vltqtr if it still runs, removes its files and VLTQTR_DEVICE.
  ~CTraceCapture();
  CTraceCapture(const CTraceCapture&) = delete;
  CTraceCapture& operator=(const CTraceCapture&) = delete;

  bool Started() const { return m_pid > 0; }
  const std::string& SocketPath() const { return m_sSocketPath; }
  // Stops vltqtr (SIGTERM) if it runs and returns every record it wrote.
  std::vector<CapturedTraceRecord> Stop();
  // The records written so far, once there are at least n of them or five
  // seconds have passed.
  std::vector<CapturedTraceRecord> WaitForRecords(size_t n) const;

 private:
  std::vector<CapturedTraceRecord> ReadRecords() const;

  std::string m_sDir;
  std::string m_sSocketPath;
  std::string m_sOutputPath;
  pid_t m_pid = -1;
};

// Runs the scenario with every class enabled at level 255 for every module
// and returns every record written meanwhile. The extension's own module
// registers again first, so that its trace points are captured as well;
// modules that open on first use open during the scenario.
std::vector<CapturedTraceRecord> CaptureTraceRecords(const std::function<void()>& scenario);

// True when an item of any record contains the text as UTF-16 or as UTF-8.
bool TraceRecordsContain(const std::vector<CapturedTraceRecord>& records, std::u16string_view sText);

// One line of vltqtr output; false when it is not a record line.
bool ParseTraceLine(const std::string& line, CapturedTraceRecord* pRecord);

}  // namespace vlttest
