// Trace records in tests: vltqtr's collector, run in-process on a socket in
// a scratch directory that VLTQTR_DEVICE names while it lives, so that
// modules registering meanwhile (in this process or in a child) trace to it.
//
//   auto records = vlttest::CaptureTraceRecords([&] { ...scenario... });
//   vlttest::ExpectNoPasswordIn({u"S3cret!"}, records);
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "scratch_dir.h"
#include "trace_collector.h"

namespace vlttest {

using vltqtr::CTraceRecord;

// cb bytes at pb, as a record item holds them.
inline std::vector<uint8_t> Bytes(const void* pb, size_t cb) {
  const auto* p = static_cast<const uint8_t*>(pb);
  return {p, p + cb};
}

// Every class at every level, for every module.
inline vltqtr::CCollectorOptions AllTraceClasses() {
  vltqtr::CCollectorOptions options;
  options.bClassFlags = 0xFF;
  options.nLevel = 255;
  return options;
}

class CTraceCapture {
 public:
  explicit CTraceCapture(vltqtr::CCollectorOptions options = AllTraceClasses());
  ~CTraceCapture();
  CTraceCapture(const CTraceCapture&) = delete;
  CTraceCapture& operator=(const CTraceCapture&) = delete;

  bool Started() const { return m_fStarted; }
  const std::string& SocketPath() const { return m_pCollector->SocketPath(); }
  const vltqtr::CTraceCollector& Collector() const { return *m_pCollector; }
  // Stops serving (the modules fall silent); every record sent before is
  // in the result.
  std::vector<CTraceRecord> Stop();
  // The records so far, once there are at least n or five seconds passed.
  std::vector<CTraceRecord> WaitForRecords(size_t n);

 private:
  CScratchDir m_dir;
  std::unique_ptr<vltqtr::CTraceCollector> m_pCollector;
  bool m_fStarted = false;
  std::thread m_thread;
  std::mutex m_lock;
  std::vector<CTraceRecord> m_records;
};

// Runs the scenario under a capture of every class and returns every record
// written meanwhile. The extension's own module registers again first, so
// that its trace points are captured as well.
std::vector<CTraceRecord> CaptureTraceRecords(const std::function<void()>& scenario);

// The outputs a password must never reach: trace records (every class, the
// highest level), the host's standard error and its access log. Each
// password is looked for as UTF-16LE, UTF-8 and, when it fits, ISO-8859-1;
// a failure names the password's place in the list and the output.
void ExpectNoPasswordIn(const std::vector<std::u16string>& passwords, const std::vector<CTraceRecord>& records,
                        std::string_view stderrText = {}, std::string_view accessLog = {});

}  // namespace vlttest
