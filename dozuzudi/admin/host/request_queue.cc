#include "admin/host/request_queue.h"

#include <cstring>

#include "admin/host/extension_exports.h"
#include "admin/host/settings.h"
#include "admin/metrics/extension_metrics.h"
#include "platform/base/heap.h"

RequestQueue g_requestQueue;

namespace {

RequestNode* AllocateRequestNode(const EXTENSION_CONTROL_BLOCK* pECB) {
  // A block shorter than the structure leaves the missing fields zero.
  SIZE_T cbCopy = pECB->cbSize;
  SIZE_T cbBlock = cbCopy > sizeof(EXTENSION_CONTROL_BLOCK) ? cbCopy : sizeof(EXTENSION_CONTROL_BLOCK);
  auto* pNode = static_cast<RequestNode*>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, offsetof(RequestNode, ecb) + cbBlock));
  if (pNode == nullptr) return nullptr;
  std::memcpy(&pNode->ecb, pECB, cbCopy);
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
      CountQueuedRequests(-1);
      fWithdrawn = true;
      break;
    }
  }
  LeaveCriticalSection(&q.lock);
  return fWithdrawn;
}

}  // namespace

void FreeRequestNode(RequestNode* pNode) { HeapFree(GetProcessHeap(), 0, pNode); }

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
  CountQueuedRequests(1);
  LONG nWorkers = ReadInterlocked(&q.workerCount);
  if (q.pendingCount > nWorkers && nWorkers < MaxWorkerThreads) {
    InterlockedIncrement(&q.workerCount);
    fStartWorker = true;
  }
  LeaveCriticalSection(&q.lock);

  SetEvent(q.wakeEvent);
  if (!fStartWorker) return HSE_STATUS_PENDING;

  HANDLE hThread = CreateThread(nullptr, 0, WorkerMain, nullptr, 0, nullptr);
  if (hThread != nullptr) {
    CloseHandle(hThread);
    return HSE_STATUS_PENDING;
  }
  InterlockedDecrement(&q.workerCount);
  // With no worker left to serve it, the request is taken back so that no
  // later worker answers a connection the web server was told had failed.
  if (!WithdrawRequest(pNode)) return HSE_STATUS_PENDING;
  FreeRequestNode(pNode);
  return HSE_STATUS_ERROR;
}

RequestNode* DequeueRequest() {
  RequestQueue& q = g_requestQueue;
  EnterCriticalSection(&q.lock);
  RequestNode* pNode = q.head;
  if (pNode != nullptr) {
    q.head = pNode->next;
    if (q.head == nullptr) q.tail = nullptr;
    --q.pendingCount;
    CountQueuedRequests(-1);
  }
  LeaveCriticalSection(&q.lock);
  return pNode;
}
