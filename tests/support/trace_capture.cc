#include "trace_capture.h"

#include <stdlib.h>

#include <algorithm>
#include <chrono>

#include "admin/trace/extension_trace.h"
#include "platform/text/wstr.h"

namespace vlttest {

CTraceCapture::CTraceCapture(vltqtr::CCollectorOptions options) {
  if (options.sSocketPath.empty()) options.sSocketPath = m_dir.Path("device.sock");
  m_pCollector = std::make_unique<vltqtr::CTraceCollector>(options, [this](const CTraceRecord& record) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_records.push_back(record);
  });
  std::string sError;
  m_fStarted = m_pCollector->Start(&sError);
  setenv("VLTQTR_DEVICE", options.sSocketPath.c_str(), 1);
  if (m_fStarted) m_thread = std::thread([this] { m_pCollector->Run(); });
}

CTraceCapture::~CTraceCapture() {
  Stop();
  unsetenv("VLTQTR_DEVICE");
}

std::vector<CTraceRecord> CTraceCapture::Stop() {
  if (m_thread.joinable()) {
    m_pCollector->Stop();
    m_thread.join();
  }
  std::lock_guard<std::mutex> guard(m_lock);
  return m_records;
}

std::vector<CTraceRecord> CTraceCapture::WaitForRecords(size_t n) {
  for (int i = 0; i < 500; ++i) {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      if (m_records.size() >= n) return m_records;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::lock_guard<std::mutex> guard(m_lock);
  return m_records;
}

std::vector<CTraceRecord> CaptureTraceRecords(const std::function<void()>& scenario) {
  CTraceCapture capture;
  if (!capture.Started()) return {};
  TraceExtensionResetForTesting();
  TraceExtensionAttach();
  scenario();
  return capture.Stop();
}

bool TraceRecordsContain(const std::vector<CTraceRecord>& records, std::u16string_view sText) {
  if (sText.empty()) return false;
  const auto* pbWide = reinterpret_cast<const uint8_t*>(sText.data());
  const std::vector<uint8_t> wide(pbWide, pbWide + sText.size() * 2);
  const std::string narrow = platform::ToUtf8(sText);
  const std::vector<uint8_t> utf8(narrow.begin(), narrow.end());
  for (const auto& record : records)
    for (const auto& item : record.rgItems)
      for (const auto* pattern : {&wide, &utf8})
        if (std::search(item.begin(), item.end(), pattern->begin(), pattern->end()) != item.end()) return true;
  return false;
}

}  // namespace vlttest
