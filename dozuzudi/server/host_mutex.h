// A mutex and scoped lock that clang's thread-safety analysis understands.
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/base/thread_annotations.h"

#define VLT_SCOPED_CAPABILITY VLT_TSA(scoped_lockable)

class CAPABILITY("mutex") CMutex {
 public:
  void lock() ACQUIRE() { m_m.lock(); }
  void unlock() RELEASE() { m_m.unlock(); }

 private:
  std::mutex m_m;
};

class VLT_SCOPED_CAPABILITY CMutexLock {
 public:
  explicit CMutexLock(CMutex* pm) ACQUIRE(pm) : m_pm(pm) { m_pm->lock(); }
  ~CMutexLock() RELEASE() { m_pm->unlock(); }
  CMutexLock(const CMutexLock&) = delete;
  CMutexLock& operator=(const CMutexLock&) = delete;

 private:
  CMutex* m_pm;
};

// Waits on a CMutex held by the caller (condition_variable_any unlocks and
// relocks it around the wait).
using CCondition = std::condition_variable_any;
