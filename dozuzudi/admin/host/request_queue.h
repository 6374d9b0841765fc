// The queue of requests between the web server's threads and the worker
// threads, with the process-wide state of the extension's lifecycle.
#pragma once

#include "platform/isapi/isapi.h"
#include "platform/base/sync.h"
#include "platform/base/thread_annotations.h"
#include "admin/host/settings.h"

// One request: owned by the queue until a worker takes it, then by the worker.
struct RequestNode {
  RequestNode* next;
  SIZE_T cbBlock;  // room for the copy, for reuse
  // A copy of the web server's control block, cbSize bytes of it (and never
  // less than the structure, the rest zeroed).
  EXTENSION_CONTROL_BLOCK ecb;
};

// What a sleeping worker waits on. One per possible worker, kept for the
// extension's lifetime, so that a waker may signal a slot whose worker has
// just ended (the next owner sees the stale signal as a spurious wake).
struct CWorkerSlot {
  HANDLE wakeEvent = nullptr;  // auto-reset
  CWorkerSlot* next = nullptr;  // in the stack of sleepers
  BYTE asleep = 0;             // in the stack of sleepers
  BYTE used = 0;               // held by a running worker
};

// A worker is looking (awake without a request: about to take one, or
// spinning briefly on an empty queue), waking (taken off the sleepers and
// signalled, not yet running), serving (possibly blocked in a wait outside
// the process), or asleep on its slot. Sleepers form a stack: the last to
// sleep is woken first, so that a steady load keeps to a few threads with
// warm caches. A queued request wakes a sleeper only when the looking and
// waking workers will not take it and fewer workers run than there are
// processors; a worker that starts a blocking wait does the same check for
// the requests already waiting. One sleeper watches (wakes every
// kWatchMilliseconds while others serve) and takes a request that made no
// progress, in case every running worker is held up in a wait it did not
// announce.
struct RequestQueue {
  CRITICAL_SECTION lock;
  RequestNode* head GUARDED_BY(lock) = nullptr;
  RequestNode* tail GUARDED_BY(lock) = nullptr;
  LONG pendingCount GUARDED_BY(lock) = 0;  // nodes waiting, not those being served
  // pendingCount as last written under the lock, for spinning workers.
  volatile LONG pendingHint = 0;
  // Their next, asleep and used fields change under lock; wakeEvent is set
  // at start and closed at stop.
  CWorkerSlot slots[MaxWorkerThreads];
  CWorkerSlot* sleepers GUARDED_BY(lock) = nullptr;  // top of the stack
  LONG lookingCount GUARDED_BY(lock) = 0;
  LONG wakingCount GUARDED_BY(lock) = 0;
  LONG servingCount GUARDED_BY(lock) = 0;
  LONG blockedCount GUARDED_BY(lock) = 0;  // serving workers in a blocking wait
  DWORD takenCount GUARDED_BY(lock) = 0;   // nodes taken so far (wraps), for the watcher
  BYTE watching GUARDED_BY(lock) = 0;      // a sleeper watches
  volatile LONG spinningCount = 0;         // looking workers that spin
  // Freed nodes kept for the next requests (swapped in and out with
  // interlocked operations), so that the web server's thread and the
  // workers do not take turns at the heap for them.
  void* volatile rgpSpareNodes[4] = {};
  LONG processorCount = 1;                 // set at start
  // Workers started and not yet ended; changed only by interlocked operations.
  volatile LONG workerCount = 0;
  // Set by TerminateExtension, never cleared; read by idle workers.
  BYTE stopRequested GUARDED_BY(lock) = 0;
  // Set while the extension is started (GetExtensionVersion succeeded through
  // its guard); changed only by interlocked operations.
  volatile LONG initialized = 0;
};

extern RequestQueue g_requestQueue;

// Takes the head node, or null when the queue is empty.
RequestNode* DequeueRequest() EXCLUDES(g_requestQueue.lock);
RequestNode* DequeueRequestLocked(RequestQueue& q) REQUIRES(q.lock);
// Takes the last sleeper off the stack when a waiting request needs it (see
// above) and counts it as waking; the caller signals the slot's wakeEvent
// after the lock. Null when no worker is to be woken.
CWorkerSlot* WakeWorkerIfNeeded(RequestQueue& q) REQUIRES(q.lock);
// The same for any sleeper (a stop); null when none sleeps.
CWorkerSlot* WakeAnyWorker(RequestQueue& q) REQUIRES(q.lock);
// Frees a node taken from the queue (or keeps it for reuse).
void FreeRequestNode(RequestNode* pNode);
// Frees the nodes kept for reuse (at stop, when no worker runs).
void FreeSpareRequestNodes();
// The worker thread procedure.
DWORD WINAPI WorkerMain(LPVOID);
// A bare status reply (no header lines, no body, connection not kept) and the
// end of the session; returns 4.
DWORD SendStatusAndClose(EXTENSION_CONTROL_BLOCK* pECB, const char* pszStatus);
// Ends the web server's session of a pending request.
void EndSession(EXTENSION_CONTROL_BLOCK* pECB);

inline LONG ReadInterlocked(volatile LONG* p) { return InterlockedCompareExchange(p, 0, 0); }
