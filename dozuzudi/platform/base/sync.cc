// Threads, events and interlocked operations over the C++ standard library.
#include "platform/base/sync.h"

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

class CEvent : public platform::CKernelObject {
 public:
  CEvent(bool manualReset, bool initialState) : m_fManual(manualReset), m_fSignalled(initialState) {}

  void Set() {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      m_fSignalled = true;
    }
    if (m_fManual)
      m_cv.notify_all();
    else
      m_cv.notify_one();
  }

  void Reset() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_fSignalled = false;
  }

  DWORD Wait(DWORD ms) override {
    std::unique_lock<std::mutex> guard(m_lock);
    auto ready = [this] { return m_fSignalled; };
    if (ms == INFINITE) {
      m_cv.wait(guard, ready);
    } else if (!m_cv.wait_for(guard, std::chrono::milliseconds(ms), ready)) {
      return WAIT_TIMEOUT;
    }
    if (!m_fManual) m_fSignalled = false;
    return WAIT_OBJECT_0;
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_cv;
  const bool m_fManual;
  bool m_fSignalled;
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
  lpPerformanceCount->QuadPart =
      std::chrono::duration_cast<std::chrono::nanoseconds>(
          std::chrono::steady_clock::now().time_since_epoch())
          .count();
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
  if (lpFrequency == nullptr) return FALSE;
  lpFrequency->QuadPart = 1000000000;
  return TRUE;
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
void* InterlockedCompareExchangePointer(void* volatile* p, void* exchange, void* comparand) {
  __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

namespace platform {
void FailThreadCreationForTesting(int count) { s_threadFailures.store(count); }
}  // namespace platform
