// The host's signals (SIGINT, SIGTERM to stop; SIGHUP to reload; SIGUSR1 to
// open the access log again), taken by a thread of their own from the first
// line of main on: a stop signal that arrives while the host is still
// starting is kept and acted on, never lost behind a step that takes long.
//
// After the first stop signal the same thread watches the stop: a second
// one, or a stop that has not ended within its allowance, ends the process
// at once (status 1), so that one signal always suffices.
#pragma once

#include <chrono>
#include <csignal>
#include <deque>

#include "server/host_mutex.h"

class CStopSignals {
 public:
  // Blocks the signals in the calling thread (every thread started later
  // inherits that) and starts the thread that takes them. Once per process.
  static CStopSignals& Start();

  // True once a stop signal came.
  bool StopRequested() EXCLUDES(m_lock);
  // Blocks until a signal came; returns it (a stop signal is returned to
  // every later call as well).
  int Wait() EXCLUDES(m_lock);
  // How long the stop may take before the process ends without finishing
  // it; counted from the stop signal. Set before the signal comes.
  void SetStopAllowance(std::chrono::milliseconds allowance) EXCLUDES(m_lock);

 private:
  CStopSignals() = default;
  void Run();

  sigset_t m_all;
  sigset_t m_stop;
  CMutex m_lock;
  CCondition m_cv;
  std::deque<int> m_pending GUARDED_BY(m_lock);
  bool m_fStop GUARDED_BY(m_lock) = false;
  std::chrono::milliseconds m_allowance GUARDED_BY(m_lock){60000};
};
