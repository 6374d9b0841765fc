#include "server/host_metrics.h"

#include <cinttypes>
#include <cstdio>
#include <unordered_set>

#include "server/extension_module.h"

namespace {

template <class... Args>
void AppendFormat(std::string& text, const char* pszFormat, Args... args) {
  char rgch[256];
  int cch = std::snprintf(rgch, sizeof(rgch), pszFormat, args...);
  if (cch > 0) text.append(rgch, std::min(static_cast<size_t>(cch), sizeof(rgch) - 1));
}

}  // namespace

void ServeMetrics(std::string_view method, std::string text, CHostReply& reply) {
  if (method != "GET" && method != "HEAD") {
    reply.m_nStatus = 405;
    reply.m_head = "HTTP/1.1 405 Method Not Allowed\r\nAllow: GET, HEAD\r\n";
    return;
  }
  reply.m_nStatus = 200;
  reply.m_head = std::string("HTTP/1.1 200 OK\r\nContent-Type: ") + CHostMetrics::kContentType +
                 "\r\nCache-Control: no-store\r\n";
  reply.m_body = std::move(text);
  reply.m_fOmitBody = method == "HEAD";
}

void CHostMetrics::CountRequest(int nStatus, std::chrono::steady_clock::duration duration) {
  size_t iStatus = nStatus >= 100 && nStatus < 600 ? static_cast<size_t>(nStatus) : 0;
  m_rgnByStatus[iStatus].fetch_add(1, std::memory_order_relaxed);
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count();
  if (ns < 0) ns = 0;
  double seconds = static_cast<double>(ns) / 1e9;
  size_t iBucket = 0;
  while (iBucket < kBuckets - 1 && seconds > kBucketBounds[iBucket]) ++iBucket;
  m_rgnDuration[iBucket].fetch_add(1, std::memory_order_relaxed);
  m_nDurationSumNs.fetch_add(static_cast<uint64_t>(ns), std::memory_order_relaxed);
}

std::string CHostMetrics::Render(long nOpenConnections,
                                 const std::vector<const CExtensionModule*>& rgExtensions) const {
  std::string text;
  text.reserve(8192);
  text.append(
      "# HELP vltadmin_http_requests_total HTTP requests answered, by status code (0: the "
      "connection ended without a status).\n"
      "# TYPE vltadmin_http_requests_total counter\n");
  for (size_t i = 0; i < m_rgnByStatus.size(); ++i) {
    uint64_t n = m_rgnByStatus[i].load(std::memory_order_relaxed);
    if (n != 0) AppendFormat(text, "vltadmin_http_requests_total{code=\"%zu\"} %" PRIu64 "\n", i, n);
  }
  text.append(
      "# HELP vltadmin_http_request_duration_seconds Time from a request's header to the end of "
      "its response.\n"
      "# TYPE vltadmin_http_request_duration_seconds histogram\n");
  uint64_t nCumulative = 0;
  for (size_t b = 0; b < kBuckets; ++b) {
    nCumulative += m_rgnDuration[b].load(std::memory_order_relaxed);
    if (b < kBuckets - 1)
      AppendFormat(text, "vltadmin_http_request_duration_seconds_bucket{le=\"%g\"} %" PRIu64 "\n",
                   kBucketBounds[b], nCumulative);
    else
      AppendFormat(text, "vltadmin_http_request_duration_seconds_bucket{le=\"+Inf\"} %" PRIu64 "\n",
                   nCumulative);
  }
  AppendFormat(text, "vltadmin_http_request_duration_seconds_sum %.6f\n",
               static_cast<double>(m_nDurationSumNs.load(std::memory_order_relaxed)) / 1e9);
  AppendFormat(text, "vltadmin_http_request_duration_seconds_count %" PRIu64 "\n", nCumulative);
  AppendFormat(text,
               "# HELP vltadmin_http_connections Open client connections.\n"
               "# TYPE vltadmin_http_connections gauge\n"
               "vltadmin_http_connections %ld\n",
               nOpenConnections);

  std::unordered_set<const void*> asked;
  for (const CExtensionModule* pe : rgExtensions) {
    if (pe->MetricsSource() == nullptr || !asked.insert(pe->MetricsSource()).second) continue;
    pe->AppendMetrics(text);
  }
  return text;
}
