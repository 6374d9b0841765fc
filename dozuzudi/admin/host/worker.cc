#include "admin/response/http_texts.h"
#include "admin/host/request_intake.h"
#include "admin/host/request_queue.h"
#include "admin/host/settings.h"
#include "admin/metrics/extension_metrics.h"
#include "admin/protocol/request.h"
#include "platform/base/blocking_wait.h"
#include "platform/base/heap.h"
#include "platform/base/sync.h"

void EndSession(EXTENSION_CONTROL_BLOCK* pECB) {
  pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_DONE_WITH_SESSION, nullptr, nullptr, nullptr);
}

DWORD SendStatusAndClose(EXTENSION_CONTROL_BLOCK* pECB, const char* pszStatus) {
  HSE_SEND_HEADER_EX_INFO info{};
  info.pszStatus = pszStatus;
  DWORD cch = 0;
  while (pszStatus[cch] != '\0') ++cch;
  info.cchStatus = cch;
  info.pszHeader = nullptr;
  info.cchHeader = 0;
  info.fKeepConn = FALSE;
  pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_SEND_RESPONSE_HEADER_EX, &info, nullptr,
                              nullptr);
  EndSession(pECB);
  return INTAKE_REQUEST_OVER;
}

namespace {

// A worker's body buffer of MaxRequestSize bytes, kept from one request to
// the next (wiped after each) so that a request costs no large allocation;
// pages of its own, left out of core dumps.
struct CBodyBuffer {
  BYTE* pb = nullptr;
  DWORD cb = 0;
  ~CBodyBuffer() { platform::FreeSecretPages(pb, cb); }
  // False when a buffer of the current size cannot be had.
  bool Ready() {
    if (pb != nullptr && cb == MaxRequestSize) return true;
    platform::FreeSecretPages(pb, cb);
    pb = static_cast<BYTE*>(platform::AllocateSecretPages(MaxRequestSize));
    cb = pb != nullptr ? MaxRequestSize : 0;
    return pb != nullptr;
  }
};

void ServeRequest(RequestNode* pNode, CBodyBuffer& buffer) {
  EXTENSION_CONTROL_BLOCK* pECB = &pNode->ecb;
  if (!buffer.Ready()) {
    SendStatusAndClose(pECB, g_rgHttpTexts[HTTP_TEXT_503_TEMPORARILY_OVERLOADED]);
    return;
  }
  BYTE* pbBuffer = buffer.pb;
  DWORD cbHeld = 0;
  if (ReceiveRequestBody(pECB, pbBuffer, &cbHeld) == INTAKE_BODY_READY) {
    ConnectionOutput output;
    output.m_pECB = pECB;
    // The handler outlives the session: it is destroyed after the end.
    CRequest20 handler(&output);
    switch (handler.Dispatch(pbBuffer, pECB->cbTotalBytes)) {
      case DISPATCH_REFUSED:
        SendStatusAndClose(pECB, g_rgHttpTexts[HTTP_TEXT_405_METHOD_NOT_SUPPORTED]);
        break;
      case DISPATCH_THROTTLED: {
        // The web server's access log tells these from an overloaded service.
        char szLogNote[] = "throttled";
        DWORD cbLogNote = sizeof szLogNote - 1;
        pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_APPEND_LOG_PARAMETER, szLogNote,
                                    &cbLogNote, nullptr);
        SendStatusAndClose(pECB, g_rgHttpTexts[HTTP_TEXT_503_TEMPORARILY_OVERLOADED]);
        break;
      }
      default:
        EndSession(pECB);
        break;
    }
  }
  // The body may hold passwords.
  SecureZeroMemory(pbBuffer, cbHeld);
}

// How long a worker that found the queue empty keeps looking before it
// sleeps. On a busy host the next request often arrives within this time and
// is taken without a wake-up (a futex wait and wake, and a trip through the
// scheduler); longer spins saved few more wake-ups on a 2-processor machine
// and took processor time from the threads the requests come from (0, 5, 10,
// 20 and 40 us measured with 64 keep-alive connections). At most half the
// processors spin at once (at least one).
constexpr LONGLONG kSpinMicroseconds = 10;
// How often the watching sleeper looks for a request that made no progress.
constexpr DWORD kWatchMilliseconds = 10;

// Counts the worker's blocking waits, so that the queue wakes another worker
// for the requests waiting meanwhile.
class CWorkerWaitObserver final : public platform::IBlockingWaitObserver {
 public:
  void OnBlockingWaitBegin() override {
    RequestQueue& q = g_requestQueue;
    EnterCriticalSection(&q.lock);
    ++q.blockedCount;
    CWorkerSlot* pWake = WakeWorkerIfNeeded(q);
    LeaveCriticalSection(&q.lock);
    if (pWake != nullptr) SetEvent(pWake->wakeEvent);
  }
  void OnBlockingWaitEnd() override {
    RequestQueue& q = g_requestQueue;
    EnterCriticalSection(&q.lock);
    --q.blockedCount;
    LeaveCriticalSection(&q.lock);
  }
};

// The next request for a worker that is looking, or that has just served
// one (fServed); null when the queue is empty (the worker is looking then).
RequestNode* TakeRequest(bool fServed) EXCLUDES(g_requestQueue.lock) {
  RequestQueue& q = g_requestQueue;
  EnterCriticalSection(&q.lock);
  RequestNode* pNode = DequeueRequestLocked(q);
  if (fServed && pNode == nullptr) {
    --q.servingCount;
    ++q.lookingCount;
  } else if (!fServed && pNode != nullptr) {
    --q.lookingCount;
    ++q.servingCount;
  }
  LeaveCriticalSection(&q.lock);
  return pNode;
}

// Watches the queue without its lock for a few microseconds, if not too
// many workers spin already; true when a request arrived.
bool SpinForRequest() {
  RequestQueue& q = g_requestQueue;
  LONG nMaxSpinning = q.processorCount / 2 > 1 ? q.processorCount / 2 : 1;
  bool fArrived = false;
  if (InterlockedIncrement(&q.spinningCount) <= nMaxSpinning) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    const LONGLONG nLimit = frequency.QuadPart / 1000000 * kSpinMicroseconds;
    QueryPerformanceCounter(&start);
    do {
      for (int i = 0; i < 16 && !fArrived; ++i) {
        fArrived = ReadAcquire(&q.pendingHint) > 0;
        YieldProcessor();
      }
      QueryPerformanceCounter(&now);
    } while (!fArrived && now.QuadPart - start.QuadPart < nLimit);
  }
  InterlockedDecrement(&q.spinningCount);
  return fArrived;
}

// Takes a sleeper's slot off the stack (it wakes by itself).
void LeaveSleepers(RequestQueue& q, CWorkerSlot* pSlot) REQUIRES(q.lock) {
  for (CWorkerSlot** pp = &q.sleepers; *pp != nullptr; pp = &(*pp)->next) {
    if (*pp == pSlot) {
      *pp = pSlot->next;
      break;
    }
  }
  pSlot->next = nullptr;
  pSlot->asleep = 0;
}

// For a looking worker that found the queue empty: false when the worker is
// to end (a stop was asked; it no longer counts in workerCount); else it
// sleeps on its slot unless a request arrived meanwhile, and returns true
// looking again. The first sleeper while others serve watches: it wakes
// every kWatchMilliseconds and takes a request itself when none was taken
// since it last looked.
bool WaitForRequest(CWorkerSlot* pSlot) EXCLUDES(g_requestQueue.lock) {
  RequestQueue& q = g_requestQueue;
  EnterCriticalSection(&q.lock);
  if (q.head != nullptr) {
    LeaveCriticalSection(&q.lock);
    return true;
  }
  --q.lookingCount;
  if (q.stopRequested != 0) {
    // Ends inside the lock, so that no one counts it as a sleeper to wake.
    pSlot->used = 0;
    InterlockedDecrement(&q.workerCount);
    LeaveCriticalSection(&q.lock);
    return false;
  }
  pSlot->next = q.sleepers;
  pSlot->asleep = 1;
  q.sleepers = pSlot;
  bool fWatch = q.watching == 0 && q.servingCount > 0;
  if (fWatch) q.watching = 1;
  DWORD nTaken = q.takenCount;
  LeaveCriticalSection(&q.lock);
  for (;;) {
    DWORD dwWait = WaitForSingleObject(pSlot->wakeEvent, fWatch ? kWatchMilliseconds : INFINITE);
    EnterCriticalSection(&q.lock);
    bool fLook = false;
    if (pSlot->asleep == 0) {
      --q.wakingCount;  // a waker took it off the stack (its signal may still come)
      fLook = true;
    } else if (dwWait == WAIT_TIMEOUT) {
      if (q.head != nullptr && q.takenCount == nTaken && q.stopRequested == 0) {
        fLook = true;  // a request waits and no worker took any: take it
      } else if (q.servingCount == 0 || q.stopRequested != 0) {
        q.watching = 0;  // nothing to watch: sleep until woken
        fWatch = false;
      }
      nTaken = q.takenCount;
      if (fLook) LeaveSleepers(q, pSlot);
    }
    // Else a stale signal for an earlier owner of the slot: sleep again.
    if (fLook) {
      if (fWatch) q.watching = 0;
      ++q.lookingCount;
      LeaveCriticalSection(&q.lock);
      return true;
    }
    LeaveCriticalSection(&q.lock);
  }
}

// A slot for a starting worker: one is always free, as no more workers run
// than there are slots.
CWorkerSlot* TakeSlot() EXCLUDES(g_requestQueue.lock) {
  RequestQueue& q = g_requestQueue;
  EnterCriticalSection(&q.lock);
  CWorkerSlot* pSlot = nullptr;
  for (CWorkerSlot& slot : q.slots) {
    if (slot.used == 0) {
      slot.used = 1;
      pSlot = &slot;
      break;
    }
  }
  LeaveCriticalSection(&q.lock);
  return pSlot;
}

}  // namespace

DWORD WINAPI WorkerMain(LPVOID) {
  CWorkerSlot* pSlot = TakeSlot();
  CWorkerWaitObserver observer;
  platform::SetBlockingWaitObserver(&observer);
  CBodyBuffer buffer;
  bool fServed = false;
  for (;;) {
    RequestNode* pNode = TakeRequest(fServed);
    fServed = pNode != nullptr;
    if (pNode != nullptr) {
      CountBusyWorkers(1);
      ServeRequest(pNode, buffer);
      CountBusyWorkers(-1);
      FreeRequestNode(pNode);
      continue;
    }
    if (SpinForRequest()) continue;
    if (!WaitForRequest(pSlot)) break;
  }
  platform::SetBlockingWaitObserver(nullptr);
  return 0;
}
