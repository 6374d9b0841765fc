// The extension's statistics: change-password answers, the request queue,
// busy workers and back-end latency. Recorded lock-free by the threads that
// serve requests; written out as Prometheus text for the web server, which
// serves it without knowing what it counts (GetExtensionMetrics).
#pragma once

#include "platform/base/wintypes.h"

// The back ends whose latency is recorded.
enum EBackEndKind {
  BACK_END_NT_LOCAL,     // NT domain served by the embedded account store
  BACK_END_NT_KERBEROS,  // NT domain served by a Kerberos realm
  BACK_END_DIRECTORY,    // the server's directory (user principal names)
  BACK_END_NDS,          // an NDS tree
  BACK_END_KINDS
};

// Lists an answer at 0 before it first occurs. |pwszErrorId| is a constant
// error id (null: success) that outlives the process's use of the metrics.
void DeclareAnswer(const WCHAR* pwszErrorId);
// Counts one change-password answer, null for success. Ids beyond the
// table's room count as "other".
void CountAnswer(const WCHAR* pwszErrorId);

// Requests waiting in the queue and workers serving one, as they change.
void CountQueuedRequests(LONG nDelta);
void CountBusyWorkers(LONG nDelta);

// Measures one back-end call from construction to Record.
class CBackEndTimer {
 public:
  CBackEndTimer();
  void Record(EBackEndKind eKind) const;

 private:
  LARGE_INTEGER m_start;
};

// Writes every statistic in the Prometheus text format, with the number of
// worker threads given, into |pch| (capacity |cb| bytes, NUL-terminated).
// Returns the bytes the text needs with its NUL; nothing useful was written
// when that is more than |cb|.
DWORD FormatExtensionMetrics(LONG nWorkers, char* pch, DWORD cb);
