#include "admin/response/http_texts.h"
#include "admin/host/request_intake.h"
#include "admin/host/request_queue.h"
#include "admin/host/settings.h"
#include "admin/metrics/extension_metrics.h"
#include "admin/protocol/request.h"
#include "platform/base/heap.h"

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

void ServeRequest(RequestNode* pNode) {
  EXTENSION_CONTROL_BLOCK* pECB = &pNode->ecb;
  auto* pbBuffer = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, MaxRequestSize));
  if (pbBuffer == nullptr) {
    SendStatusAndClose(pECB, g_rgHttpTexts[HTTP_TEXT_503_TEMPORARILY_OVERLOADED]);
    return;
  }
  DWORD cbHeld = 0;
  if (ReceiveRequestBody(pECB, pbBuffer, &cbHeld) == INTAKE_BODY_READY) {
    ConnectionOutput output;
    output.m_pECB = pECB;
    // The handler outlives the session: it is destroyed after the end.
    CRequest20 handler(&output);
    if (handler.Dispatch(pbBuffer, pECB->cbTotalBytes) == DISPATCH_REFUSED)
      SendStatusAndClose(pECB, g_rgHttpTexts[HTTP_TEXT_405_METHOD_NOT_SUPPORTED]);
    else
      EndSession(pECB);
  }
  // The body may hold passwords.
  SecureZeroMemory(pbBuffer, cbHeld);
  HeapFree(GetProcessHeap(), 0, pbBuffer);
}

// True when the worker is to end: the queue was empty and a stop was asked.
bool StopRequested() EXCLUDES(g_requestQueue.lock) {
  RequestQueue& q = g_requestQueue;
  EnterCriticalSection(&q.lock);
  bool fStop = q.stopRequested != 0;
  LeaveCriticalSection(&q.lock);
  return fStop;
}

}  // namespace

DWORD WINAPI WorkerMain(LPVOID) {
  RequestQueue& q = g_requestQueue;
  for (;;) {
    RequestNode* pNode = DequeueRequest();
    if (pNode != nullptr) {
      CountBusyWorkers(1);
      ServeRequest(pNode);
      CountBusyWorkers(-1);
      FreeRequestNode(pNode);
      continue;
    }
    if (StopRequested()) break;
    WaitForSingleObject(q.wakeEvent, INFINITE);
  }
  InterlockedDecrement(&q.workerCount);
  return 0;
}
