// The host's own statistics (requests by status, their durations, open
// connections) and the Prometheus text served at /metrics, which adds what
// each extension reports through its optional GetExtensionMetrics export.
// The host never reads an extension's text: what a request meant to the
// extension (its answer, its back end) is the extension's to count.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/host_reply.h"

class CExtensionModule;

// The reply to a request for the statistics: |text| for GET and HEAD, else
// 405.
void ServeMetrics(std::string_view method, std::string text, CHostReply& reply);

class CHostMetrics {
 public:
  // Safe from any thread.
  void CountRequest(int nStatus, std::chrono::steady_clock::duration duration);

  // The whole text: the host's families, then each extension's (a library
  // serving several URLs once).
  std::string Render(long nOpenConnections,
                     const std::vector<const CExtensionModule*>& rgExtensions) const;

  static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

 private:
  static constexpr double kBucketBounds[] = {0.005, 0.01, 0.025, 0.05, 0.1,
                                                0.25,  0.5,  1,     2.5,  5,   10};
  static constexpr size_t kBuckets = std::size(kBucketBounds) + 1;

  std::array<std::atomic<uint64_t>, 600> m_rgnByStatus{};  // index: status code; 0: other
  std::array<std::atomic<uint64_t>, kBuckets> m_rgnDuration{};  // not cumulative
  std::atomic<uint64_t> m_nDurationSumNs{0};
};
