// Threads, events and interlocked operations over the C++ standard library.
#include "platform/base/sync.h"

#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <climits>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <thread>

#include "platform/base/handle.h"

void InitializeCriticalSection(LPCRITICAL_SECTION) {}
void DeleteCriticalSection(LPCRITICAL_SECTION) {}
void EnterCriticalSection(LPCRITICAL_SECTION cs) NO_THREAD_SAFETY_ANALYSIS { cs->m.lock(); }
void LeaveCriticalSection(LPCRITICAL_SECTION cs) NO_THREAD_SAFETY_ANALYSIS { cs->m.unlock(); }

namespace {

// An event over a futex word (0: not signalled, 1: signalled), so that a
// signal costs one system call only when a thread sleeps on it, and a woken
// waiter takes the signal without a lock.
class CEvent : public platform::CKernelObject {
 public:
  CEvent(bool manualReset, bool initialState) : m_fManual(manualReset), m_nState(initialState ? 1 : 0) {}

  void Set() {
    if (m_nState.exchange(1) == 0 && m_nWaiters.load() > 0)
      Futex(FUTEX_WAKE_PRIVATE, m_fManual ? INT_MAX : 1, nullptr);
  }

  void Reset() { m_nState.store(0); }

  DWORD Wait(DWORD ms) override {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      if (TryTake()) return WAIT_OBJECT_0;
      timespec timeout{};
      if (ms != INFINITE) {
        auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return WAIT_TIMEOUT;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
        timeout.tv_nsec = static_cast<long>(ns % 1000000000);
      }
      // Counted before the state is looked at again (by the kernel), so that
      // a Set in between either sees the waiter or leaves the state at 1.
      m_nWaiters.fetch_add(1);
      Futex(FUTEX_WAIT_PRIVATE, 0, ms == INFINITE ? nullptr : &timeout);
      m_nWaiters.fetch_sub(1);
    }
  }

 private:
  bool TryTake() {
    if (m_fManual) return m_nState.load() == 1;
    int nExpected = 1;
    return m_nState.compare_exchange_strong(nExpected, 0);
  }

  void Futex(int op, int nValue, const timespec* pTimeout) {
    static_assert(sizeof(std::atomic<int>) == sizeof(int));
    syscall(SYS_futex, reinterpret_cast<int*>(&m_nState), op, nValue, pTimeout, nullptr, 0);
  }

  const bool m_fManual;
  std::atomic<int> m_nState;
  std::atomic<int> m_nWaiters{0};
};

// Shared between the thread handle and the running thread, so that closing
// the handle (detaching) and the thread's end may happen in either order.
struct CThreadState {
  std::mutex lock;
  std::condition_variable cv;
  bool ended = false;
};

class CThread : public platform::CKernelObject {
 public:
  explicit CThread(std::shared_ptr<CThreadState> state) : m_state(std::move(state)) {}
  DWORD Wait(DWORD ms) override {
    std::unique_lock<std::mutex> guard(m_state->lock);
    auto ended = [this] { return m_state->ended; };
    if (ms == INFINITE) {
      m_state->cv.wait(guard, ended);
      return WAIT_OBJECT_0;
    }
    return m_state->cv.wait_for(guard, std::chrono::milliseconds(ms), ended) ? WAIT_OBJECT_0
                                                                              : WAIT_TIMEOUT;
  }

 private:
  std::shared_ptr<CThreadState> m_state;
};

std::atomic<int> s_threadFailures{0};
std::atomic<DWORD> s_nextThreadId{1};
thread_local DWORD t_threadId = 0;

}  // namespace

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  if (lpName != nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  return platform::ToHandle(new CEvent(bManualReset != FALSE, bInitialState != FALSE));
}

BOOL SetEvent(HANDLE hEvent) {
  auto* event = dynamic_cast<CEvent*>(platform::FromHandle(hEvent));
  if (event == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
  auto* event = dynamic_cast<CEvent*>(platform::FromHandle(hEvent));
  if (event == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Reset();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  platform::CKernelObject* object = platform::FromHandle(hHandle);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return object->Wait(dwMilliseconds);
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD, LPDWORD lpThreadId) {
  int failures = s_threadFailures.load();
  while (failures != 0) {
    if (failures < 0 || s_threadFailures.compare_exchange_weak(failures, failures - 1)) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
  }
  auto state = std::make_shared<CThreadState>();
  DWORD id = s_nextThreadId.fetch_add(1);
  try {
    std::thread thread([state, lpStartAddress, lpParameter, id] {
      t_threadId = id;
      lpStartAddress(lpParameter);
      std::lock_guard<std::mutex> guard(state->lock);
      state->ended = true;
      state->cv.notify_all();
    });
    thread.detach();
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (lpThreadId != nullptr) *lpThreadId = id;
  return platform::ToHandle(new CThread(std::move(state)));
}

DWORD GetCurrentThreadId() {
  if (t_threadId == 0) t_threadId = s_nextThreadId.fetch_add(1);
  return t_threadId;
}

void Sleep(DWORD dwMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD GetTickCount() {
  using namespace std::chrono;
  return static_cast<DWORD>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
  if (lpPerformanceCount == nullptr) return FALSE;
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  lpPerformanceCount->QuadPart = static_cast<LONGLONG>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
  if (lpFrequency == nullptr) return FALSE;
  lpFrequency->QuadPart = 1000000000;
  return TRUE;
}

DWORD GetActiveProcessorCount(WORD) {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof(set), &set) == 0) {
    int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<DWORD>(n);
  }
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<DWORD>(n) : 1;
}

LONG InterlockedIncrement(LONG volatile* p) {
  return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST);
}
LONG InterlockedDecrement(LONG volatile* p) {
  return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST);
}
LONG InterlockedExchange(LONG volatile* p, LONG v) {
  return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST);
}
LONG InterlockedExchangeAdd(LONG volatile* p, LONG v) {
  return __atomic_fetch_add(p, v, __ATOMIC_SEQ_CST);
}
LONG InterlockedCompareExchange(LONG volatile* p, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}
void* InterlockedExchangePointer(void* volatile* p, void* value) {
  return __atomic_exchange_n(p, value, __ATOMIC_SEQ_CST);
}
void* InterlockedCompareExchangePointer(void* volatile* p, void* exchange, void* comparand) {
  __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

namespace platform {
void FailThreadCreationForTesting(int count) { s_threadFailures.store(count); }
}  // namespace platform
