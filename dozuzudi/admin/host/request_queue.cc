#include "admin/host/request_queue.h"

#include <cstring>

#include "admin/host/extension_exports.h"
#include "admin/host/settings.h"
#include "admin/metrics/extension_metrics.h"
#include "platform/base/heap.h"

RequestQueue g_requestQueue;

namespace {

// A kept node with room for cbBlock bytes, or null.
RequestNode* TakeSpareNode(SIZE_T cbBlock) {
  for (void* volatile& pSpare : g_requestQueue.rgpSpareNodes) {
    auto* pNode = static_cast<RequestNode*>(InterlockedExchangePointer(&pSpare, nullptr));
    if (pNode == nullptr) continue;
    if (pNode->cbBlock >= cbBlock) return pNode;
    HeapFree(GetProcessHeap(), 0, pNode);
  }
  return nullptr;
}

RequestNode* AllocateRequestNode(const EXTENSION_CONTROL_BLOCK* pECB) {
  // A block shorter than the structure leaves the missing fields zero.
  SIZE_T cbCopy = pECB->cbSize;
  SIZE_T cbBlock = cbCopy > sizeof(EXTENSION_CONTROL_BLOCK) ? cbCopy : sizeof(EXTENSION_CONTROL_BLOCK);
  RequestNode* pNode = TakeSpareNode(cbBlock);
  if (pNode == nullptr) {
    pNode = static_cast<RequestNode*>(
        HeapAlloc(GetProcessHeap(), 0, offsetof(RequestNode, ecb) + cbBlock));
    if (pNode == nullptr) return nullptr;
    pNode->cbBlock = cbBlock;
  }
  std::memcpy(&pNode->ecb, pECB, cbCopy);
  std::memset(reinterpret_cast<BYTE*>(&pNode->ecb) + cbCopy, 0, pNode->cbBlock - cbCopy);
  pNode->next = nullptr;
  return pNode;
}

// Takes a node that was queued for a worker that could not be started back
// out of the queue. False when a worker has taken it meanwhile, or when
// another worker exists that will serve it.
bool WithdrawRequest(RequestNode* pNode) EXCLUDES(g_requestQueue.lock) {
  RequestQueue& q = g_requestQueue;
  bool fWithdrawn = false;
  EnterCriticalSection(&q.lock);
  if (ReadInterlocked(&q.workerCount) <= 0) {
    RequestNode* pPrev = nullptr;
    for (RequestNode* p = q.head; p != nullptr; pPrev = p, p = p->next) {
      if (p != pNode) continue;
      if (pPrev == nullptr)
        q.head = p->next;
      else
        pPrev->next = p->next;
      if (q.tail == p) q.tail = pPrev;
      --q.pendingCount;
      InterlockedExchange(&q.pendingHint, q.pendingCount);
      CountQueuedRequests(-1);
      fWithdrawn = true;
      break;
    }
  }
  LeaveCriticalSection(&q.lock);
  return fWithdrawn;
}

}  // namespace

void FreeRequestNode(RequestNode* pNode) {
  for (void* volatile& pSpare : g_requestQueue.rgpSpareNodes)
    if (InterlockedCompareExchangePointer(&pSpare, pNode, nullptr) == nullptr) return;
  HeapFree(GetProcessHeap(), 0, pNode);
}

void FreeSpareRequestNodes() {
  for (void* volatile& pSpare : g_requestQueue.rgpSpareNodes)
    HeapFree(GetProcessHeap(), 0, InterlockedExchangePointer(&pSpare, nullptr));
}

CWorkerSlot* WakeAnyWorker(RequestQueue& q) {
  CWorkerSlot* pSlot = q.sleepers;
  if (pSlot == nullptr) return nullptr;
  q.sleepers = pSlot->next;
  pSlot->next = nullptr;
  pSlot->asleep = 0;
  ++q.wakingCount;
  return pSlot;
}

CWorkerSlot* WakeWorkerIfNeeded(RequestQueue& q) {
  LONG nComing = q.lookingCount + q.wakingCount;
  LONG nRunning = nComing + q.servingCount - q.blockedCount;
  if (q.pendingCount <= nComing || nRunning >= q.processorCount) return nullptr;
  return WakeAnyWorker(q);
}

extern "C" DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  RequestQueue& q = g_requestQueue;
  if (ReadInterlocked(&q.initialized) == 0 || pECB == nullptr) return HSE_STATUS_ERROR;

  RequestNode* pNode = AllocateRequestNode(pECB);
  if (pNode == nullptr) return HSE_STATUS_ERROR;

  bool fStartWorker = false;
  EnterCriticalSection(&q.lock);
  if (q.tail == nullptr)
    q.head = pNode;
  else
    q.tail->next = pNode;
  q.tail = pNode;
  ++q.pendingCount;
  InterlockedExchange(&q.pendingHint, q.pendingCount);
  CountQueuedRequests(1);
  LONG nWorkers = ReadInterlocked(&q.workerCount);
  if (q.pendingCount > nWorkers && nWorkers < MaxWorkerThreads) {
    InterlockedIncrement(&q.workerCount);
    ++q.lookingCount;  // the new worker starts by looking at the queue
    fStartWorker = true;
  }
  CWorkerSlot* pWake = fStartWorker ? nullptr : WakeWorkerIfNeeded(q);
  LeaveCriticalSection(&q.lock);

  if (pWake != nullptr) SetEvent(pWake->wakeEvent);
  if (!fStartWorker) return HSE_STATUS_PENDING;

  HANDLE hThread = CreateThread(nullptr, 0, WorkerMain, nullptr, 0, nullptr);
  if (hThread != nullptr) {
    CloseHandle(hThread);
    return HSE_STATUS_PENDING;
  }
  EnterCriticalSection(&q.lock);
  --q.lookingCount;
  InterlockedDecrement(&q.workerCount);
  pWake = WakeWorkerIfNeeded(q);
  LeaveCriticalSection(&q.lock);
  if (pWake != nullptr) SetEvent(pWake->wakeEvent);
  // With no worker left to serve it, the request is taken back so that no
  // later worker answers a connection the web server was told had failed.
  if (!WithdrawRequest(pNode)) return HSE_STATUS_PENDING;
  FreeRequestNode(pNode);
  return HSE_STATUS_ERROR;
}

RequestNode* DequeueRequestLocked(RequestQueue& q) {
  RequestNode* pNode = q.head;
  if (pNode != nullptr) {
    q.head = pNode->next;
    if (q.head == nullptr) q.tail = nullptr;
    --q.pendingCount;
    ++q.takenCount;
    InterlockedExchange(&q.pendingHint, q.pendingCount);
    CountQueuedRequests(-1);
  }
  return pNode;
}

RequestNode* DequeueRequest() {
  RequestQueue& q = g_requestQueue;
  EnterCriticalSection(&q.lock);
  RequestNode* pNode = DequeueRequestLocked(q);
  LeaveCriticalSection(&q.lock);
  return pNode;
}
