// A trace collector on a temporary socket, served by a thread of the test,
// with VLTQTR_DEVICE pointing at it while it lives.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "trace_collector.h"

class CInProcessCollector {
 public:
  explicit CInProcessCollector(vltqtr::CCollectorOptions options = {}) {
    char szDir[] = "/tmp/vltqtr-test-XXXXXX";
    m_sDir = mkdtemp(szDir);
    options.sSocketPath = m_sDir + "/device.sock";
    m_pCollector = std::make_unique<vltqtr::CTraceCollector>(
        options, [this](const vltqtr::CTraceRecord& record) {
          std::lock_guard<std::mutex> guard(m_lock);
          m_records.push_back(record);
        });
    std::string sError;
    m_fStarted = m_pCollector->Start(&sError);
    setenv("VLTQTR_DEVICE", options.sSocketPath.c_str(), 1);
    if (m_fStarted) m_thread = std::thread([this] { m_pCollector->Run(); });
  }
  ~CInProcessCollector() {
    Stop();
    m_pCollector.reset();
    unsetenv("VLTQTR_DEVICE");
    rmdir(m_sDir.c_str());
  }
  bool Started() const { return m_fStarted; }
  const vltqtr::CTraceCollector& Collector() const { return *m_pCollector; }

  // Stops serving; records sent before are all in Records() afterwards.
  void Stop() {
    if (m_thread.joinable()) {
      m_pCollector->Stop();
      m_thread.join();
    }
  }
  std::vector<vltqtr::CTraceRecord> Records() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_records;
  }
  // Waits (up to five seconds) until at least n records arrived.
  std::vector<vltqtr::CTraceRecord> WaitForRecords(size_t n) {
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_records.size() >= n) return m_records;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Records();
  }

 private:
  std::string m_sDir;
  std::unique_ptr<vltqtr::CTraceCollector> m_pCollector;
  bool m_fStarted = false;
  std::thread m_thread;
  std::mutex m_lock;
  std::vector<vltqtr::CTraceRecord> m_records;
};
