#include "trace_capture.h"

#include <gtest/gtest.h>
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

void ExpectNoPasswordIn(const std::vector<std::u16string>& passwords, const std::vector<CTraceRecord>& records,
                        std::string_view stderrText, std::string_view accessLog) {
  for (size_t i = 0; i < passwords.size(); ++i) {
    const std::u16string& sPassword = passwords[i];
    std::vector<std::string> forms{std::string(reinterpret_cast<const char*>(sPassword.data()), sPassword.size() * 2),
                                   platform::ToUtf8(sPassword)};
    if (std::all_of(sPassword.begin(), sPassword.end(), [](char16_t ch) { return ch < 0x100; }))
      forms.emplace_back(sPassword.begin(), sPassword.end());
    for (const std::string& form : forms) {
      if (form.empty()) continue;
      for (const auto& record : records)
        for (const auto& item : record.rgItems)
          EXPECT_TRUE(std::search(item.begin(), item.end(), form.begin(), form.end()) == item.end())
              << "password " << i << " in a record of " << record.sModule << ", message " << record.nMessage;
      EXPECT_EQ(stderrText.find(form), std::string_view::npos) << "password " << i << " on standard error";
      EXPECT_EQ(accessLog.find(form), std::string_view::npos) << "password " << i << " in the access log";
    }
  }
}

}  // namespace vlttest
