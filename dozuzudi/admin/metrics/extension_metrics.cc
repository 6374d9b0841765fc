#include "admin/metrics/extension_metrics.h"

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "platform/base/sync.h"

namespace {

// Answers: slot 0 is success; the others are claimed by error id, once.
constexpr int kAnswerSlots = 16;
struct CAnswerSlot {
  std::atomic<const WCHAR*> m_pwszId{nullptr};
  std::atomic<uint64_t> m_nCount{0};
};
CAnswerSlot s_rgAnswers[kAnswerSlots];
std::atomic<uint64_t> s_nOtherAnswers{0};
std::atomic_flag s_fClaiming = ATOMIC_FLAG_INIT;

std::atomic<long> s_nQueued{0};
std::atomic<long> s_nBusy{0};

// Upper bounds of the latency buckets, in seconds; +Inf follows.
constexpr double kBucketBounds[] = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};
constexpr int kBuckets = sizeof(kBucketBounds) / sizeof(kBucketBounds[0]) + 1;
struct CLatency {
  std::atomic<uint64_t> m_rgnBucket[kBuckets];  // not cumulative
  std::atomic<uint64_t> m_nSumNs{0};
};
CLatency s_rgLatency[BACK_END_KINDS];
constexpr const char* kKindLabels[BACK_END_KINDS] = {"nt_local", "nt_kerberos", "directory", "nds"};

bool SameText(const WCHAR* pwszA, const WCHAR* pwszB) {
  while (*pwszA != 0 && *pwszA == *pwszB) {
    ++pwszA;
    ++pwszB;
  }
  return *pwszA == *pwszB;
}

// The slot counting the id; claims a free one when none does. Null when the
// table is full.
CAnswerSlot* AnswerSlot(const WCHAR* pwszErrorId) {
  if (pwszErrorId == nullptr) return &s_rgAnswers[0];
  auto find = [pwszErrorId]() -> CAnswerSlot* {
    for (int i = 1; i < kAnswerSlots; ++i) {
      const WCHAR* pwsz = s_rgAnswers[i].m_pwszId.load(std::memory_order_acquire);
      if (pwsz == nullptr) break;
      if (pwsz == pwszErrorId || SameText(pwsz, pwszErrorId)) return &s_rgAnswers[i];
    }
    return nullptr;
  };
  if (CAnswerSlot* pSlot = find()) return pSlot;
  // Claims are rare (each id once) and short: a spin keeps two threads from
  // claiming two slots for one id.
  while (s_fClaiming.test_and_set(std::memory_order_acquire)) {
  }
  CAnswerSlot* pSlot = find();
  for (int i = 1; pSlot == nullptr && i < kAnswerSlots; ++i) {
    if (s_rgAnswers[i].m_pwszId.load(std::memory_order_relaxed) != nullptr) continue;
    s_rgAnswers[i].m_pwszId.store(pwszErrorId, std::memory_order_release);
    pSlot = &s_rgAnswers[i];
  }
  s_fClaiming.clear(std::memory_order_release);
  return pSlot;
}

// Appends to a bounded buffer and counts what the whole text needs.
class CTextOut {
 public:
  CTextOut(char* pch, DWORD cb) : m_pch(pch), m_cb(cb) {}

  void Append(const char* psz) {
    for (; *psz != 0; ++psz) Put(*psz);
  }
  template <class... Args>
  void Format(const char* pszFormat, Args... args) {
    char rgch[160];
    int cch = std::snprintf(rgch, sizeof(rgch), pszFormat, args...);
    if (cch > 0) Append(rgch);
  }
  // A label value: printable ASCII without quotes or backslashes.
  void AppendLabel(const WCHAR* pwsz) {
    for (; *pwsz != 0; ++pwsz)
      Put(*pwsz > 32 && *pwsz < 127 && *pwsz != u'"' && *pwsz != u'\\' ? static_cast<char>(*pwsz) : '_');
  }
  DWORD Finish() {
    if (m_cbUsed < m_cb) m_pch[m_cbUsed] = 0;
    return m_cbUsed + 1;
  }

 private:
  void Put(char ch) {
    if (m_cbUsed + 1 < m_cb) m_pch[m_cbUsed] = ch;
    ++m_cbUsed;
  }
  char* m_pch;
  DWORD m_cb;
  DWORD m_cbUsed = 0;
};

void FormatGauge(CTextOut& out, const char* pszName, const char* pszHelp, long nValue) {
  out.Format("# HELP %s %s\n# TYPE %s gauge\n%s %ld\n", pszName, pszHelp, pszName, pszName, nValue);
}

}  // namespace

void DeclareAnswer(const WCHAR* pwszErrorId) { AnswerSlot(pwszErrorId); }

void CountAnswer(const WCHAR* pwszErrorId) {
  if (CAnswerSlot* pSlot = AnswerSlot(pwszErrorId))
    pSlot->m_nCount.fetch_add(1, std::memory_order_relaxed);
  else
    s_nOtherAnswers.fetch_add(1, std::memory_order_relaxed);
}

void CountQueuedRequests(LONG nDelta) { s_nQueued.fetch_add(nDelta, std::memory_order_relaxed); }

void CountBusyWorkers(LONG nDelta) { s_nBusy.fetch_add(nDelta, std::memory_order_relaxed); }

CBackEndTimer::CBackEndTimer() { QueryPerformanceCounter(&m_start); }

void CBackEndTimer::Record(EBackEndKind eKind) const {
  LARGE_INTEGER end, frequency;
  QueryPerformanceCounter(&end);
  QueryPerformanceFrequency(&frequency);
  int64_t nTicks = end.QuadPart - m_start.QuadPart;
  if (nTicks < 0) nTicks = 0;
  uint64_t nNs = static_cast<uint64_t>(static_cast<double>(nTicks) * 1e9 /
                                       static_cast<double>(frequency.QuadPart));
  double seconds = static_cast<double>(nNs) / 1e9;
  int iBucket = 0;
  while (iBucket < kBuckets - 1 && seconds > kBucketBounds[iBucket]) ++iBucket;
  CLatency& latency = s_rgLatency[eKind];
  latency.m_rgnBucket[iBucket].fetch_add(1, std::memory_order_relaxed);
  latency.m_nSumNs.fetch_add(nNs, std::memory_order_relaxed);
}

DWORD FormatExtensionMetrics(LONG nWorkers, char* pch, DWORD cb) {
  CTextOut out(pch, cb);
  out.Append(
      "# HELP vltadmin_change_password_answers_total Change-password requests answered, by "
      "answer: success or the error id sent.\n"
      "# TYPE vltadmin_change_password_answers_total counter\n");
  for (int i = 0; i < kAnswerSlots; ++i) {
    const WCHAR* pwszId = s_rgAnswers[i].m_pwszId.load(std::memory_order_acquire);
    if (i > 0 && pwszId == nullptr) break;
    out.Append("vltadmin_change_password_answers_total{answer=\"");
    if (i == 0)
      out.Append("success");
    else
      out.AppendLabel(pwszId);
    out.Format("\"} %llu\n", static_cast<unsigned long long>(s_rgAnswers[i].m_nCount.load()));
  }
  if (uint64_t nOther = s_nOtherAnswers.load())
    out.Format("vltadmin_change_password_answers_total{answer=\"other\"} %llu\n",
               static_cast<unsigned long long>(nOther));

  FormatGauge(out, "vltadmin_queued_requests", "Requests waiting for a worker thread.",
              s_nQueued.load());
  FormatGauge(out, "vltadmin_worker_threads", "Worker threads running.", nWorkers);
  FormatGauge(out, "vltadmin_busy_worker_threads", "Worker threads serving a request.",
              s_nBusy.load());

  out.Append(
      "# HELP vltadmin_backend_duration_seconds Time a back end took to answer a password "
      "change, by kind.\n"
      "# TYPE vltadmin_backend_duration_seconds histogram\n");
  for (int k = 0; k < BACK_END_KINDS; ++k) {
    const CLatency& latency = s_rgLatency[k];
    // The count is the +Inf bucket, so the two always agree.
    uint64_t nCumulative = 0;
    for (int b = 0; b < kBuckets; ++b) {
      nCumulative += latency.m_rgnBucket[b].load();
      if (b < kBuckets - 1)
        out.Format("vltadmin_backend_duration_seconds_bucket{kind=\"%s\",le=\"%g\"} %llu\n",
                   kKindLabels[k], kBucketBounds[b],
                   static_cast<unsigned long long>(nCumulative));
      else
        out.Format("vltadmin_backend_duration_seconds_bucket{kind=\"%s\",le=\"+Inf\"} %llu\n",
                   kKindLabels[k], static_cast<unsigned long long>(nCumulative));
    }
    out.Format("vltadmin_backend_duration_seconds_sum{kind=\"%s\"} %.6f\n", kKindLabels[k],
               static_cast<double>(latency.m_nSumNs.load()) / 1e9);
    out.Format("vltadmin_backend_duration_seconds_count{kind=\"%s\"} %llu\n", kKindLabels[k],
               static_cast<unsigned long long>(nCumulative));
  }
  return out.Finish();
}
