// The queue of requests between the web server's threads and the worker
// threads, with the process-wide state of the extension's lifecycle.
#pragma once

#include "platform/isapi/isapi.h"
#include "platform/base/sync.h"
#include "platform/base/thread_annotations.h"

// One request: owned by the queue until a worker takes it, then by the worker.
struct RequestNode {
  RequestNode* next;
  // A copy of the web server's control block, cbSize bytes of it (and never
  // less than the structure, the rest zeroed).
  EXTENSION_CONTROL_BLOCK ecb;
};

struct RequestQueue {
  CRITICAL_SECTION lock;
  HANDLE wakeEvent = nullptr;  // auto-reset; wakes one idle worker
  RequestNode* head GUARDED_BY(lock) = nullptr;
  RequestNode* tail GUARDED_BY(lock) = nullptr;
  LONG pendingCount GUARDED_BY(lock) = 0;  // nodes waiting, not those being served
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
// Frees a node taken from the queue.
void FreeRequestNode(RequestNode* pNode);
// The worker thread procedure.
DWORD WINAPI WorkerMain(LPVOID);
// A bare status reply (no header lines, no body, connection not kept) and the
// end of the session; returns 4.
DWORD SendStatusAndClose(EXTENSION_CONTROL_BLOCK* pECB, const char* pszStatus);
// Ends the web server's session of a pending request.
void EndSession(EXTENSION_CONTROL_BLOCK* pECB);

inline LONG ReadInterlocked(volatile LONG* p) { return InterlockedCompareExchange(p, 0, 0); }
