#include "server/stop_signals.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <thread>

namespace {

void SayAndExit(const char* psz) {
  // Only what is safe while other threads may hold any lock.
  size_t cb = 0;
  while (psz[cb] != '\0') ++cb;
  ssize_t n = write(2, psz, cb);
  (void)n;
  _exit(1);
}

}  // namespace

CStopSignals& CStopSignals::Start() {
  static CStopSignals* s_p = nullptr;  // lives until the process ends
  if (s_p != nullptr) return *s_p;
  s_p = new CStopSignals();
  sigemptyset(&s_p->m_stop);
  sigaddset(&s_p->m_stop, SIGINT);
  sigaddset(&s_p->m_stop, SIGTERM);
  s_p->m_all = s_p->m_stop;
  sigaddset(&s_p->m_all, SIGHUP);
  sigaddset(&s_p->m_all, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &s_p->m_all, nullptr);
  std::thread([p = s_p] { p->Run(); }).detach();
  return *s_p;
}

void CStopSignals::Run() {
  int nSignal = 0;
  for (;;) {
    if (sigwait(&m_all, &nSignal) != 0) continue;
    CMutexLock guard(&m_lock);
    if (nSignal == SIGINT || nSignal == SIGTERM) {
      m_fStop = true;
      m_cv.notify_all();
      break;
    }
    m_pending.push_back(nSignal);
    m_cv.notify_all();
  }
  std::chrono::milliseconds allowance;
  {
    CMutexLock guard(&m_lock);
    allowance = m_allowance;
  }
  auto deadline = std::chrono::steady_clock::now() + allowance;
  for (;;) {
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero())
      SayAndExit("vltadmin-host: the stop did not end in time, exiting at once\n");
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    int n = sigtimedwait(&m_stop, nullptr, &ts);
    if (n == SIGINT || n == SIGTERM)
      SayAndExit("vltadmin-host: second stop signal, exiting at once\n");
  }
}

bool CStopSignals::StopRequested() {
  CMutexLock guard(&m_lock);
  return m_fStop;
}

int CStopSignals::Wait() {
  CMutexLock guard(&m_lock);
  while (!m_fStop && m_pending.empty()) m_cv.wait(m_lock);
  if (m_fStop) return SIGTERM;
  int n = m_pending.front();
  m_pending.pop_front();
  return n;
}

void CStopSignals::SetStopAllowance(std::chrono::milliseconds allowance) {
  CMutexLock guard(&m_lock);
  m_allowance = allowance;
}
