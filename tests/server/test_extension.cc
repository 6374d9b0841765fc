// An ISAPI extension for the host's tests. Like the real extension it
// queues each request and serves it on worker threads of its own, which call
// the host's callbacks. The query string chooses what a request does:
//   mode=bare       bare status "405 method not supported", no keep-alive
//   mode=bare-keep  bare status "200 OK" with fKeepConn TRUE
//   mode=refuse-keep "405 method not supported" with Content-Length 0, kept
//                   alive (the benchmarks' keep-alive refusal)
//   mode=echo       reads the whole body, answers it with the control block
//                   fields in X- headers (Content-length framing)
//   mode=discard    reads the whole body into a buffer it wipes, answers
//                   the number of bytes read
//   mode=chunked    a chunked response of three chunks
//   mode=nolength   a response with neither length nor chunked framing
//   mode=sleep&ms=N answers "200 OK" after N milliseconds
//   mode=silent     ends the session without any reply
//   mode=error      HttpExtensionProc returns HSE_STATUS_ERROR
//   mode=stats      counters: failed body reads, requests served, sleeps under way
// Environment: VLT_TEST_EXTENSION_REFUSE=1 makes GetExtensionVersion fail;
// VLT_TEST_EXTENSION_WORKERS sets the number of workers (default 4);
// VLT_TEST_EXTENSION_STOP_AT_START=1 sends the host SIGTERM while it starts.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "platform/isapi/isapi.h"
#include "server/host_mutex.h"

namespace {

class CTestQueue {
 public:
  void Push(EXTENSION_CONTROL_BLOCK* pECB) EXCLUDES(m_lock) {
    CMutexLock guard(&m_lock);
    m_queue.push_back(pECB);
    m_cv.notify_one();
  }
  // Null once stopping and empty.
  EXTENSION_CONTROL_BLOCK* Pop() EXCLUDES(m_lock) {
    CMutexLock guard(&m_lock);
    while (m_queue.empty() && !m_fStop) m_cv.wait(m_lock);
    if (m_queue.empty()) return nullptr;
    EXTENSION_CONTROL_BLOCK* p = m_queue.front();
    m_queue.pop_front();
    return p;
  }
  void Stop() EXCLUDES(m_lock) {
    CMutexLock guard(&m_lock);
    m_fStop = true;
    m_cv.notify_all();
  }

 private:
  CMutex m_lock;
  CCondition m_cv;
  std::deque<EXTENSION_CONTROL_BLOCK*> m_queue GUARDED_BY(m_lock);
  bool m_fStop GUARDED_BY(m_lock) = false;
};

CTestQueue g_queue;
std::vector<std::thread> g_workers;
std::atomic<int> g_nReadFailures{0};
std::atomic<int> g_nServed{0};
std::atomic<int> g_nSleeping{0};
char g_szRegistryAtLoad[512];  // plain storage: filled before C++ globals are constructed

__attribute__((constructor)) void RecordEnvironmentAtLoad() {
  const char* psz = std::getenv("VLTADMIN_REGISTRY");
  std::snprintf(g_szRegistryAtLoad, sizeof(g_szRegistryAtLoad), "%s", psz ? psz : "(unset)");
}

std::string QueryValue(const char* pszQuery, const char* pszName) {
  const std::string q = "&" + std::string(pszQuery ? pszQuery : "") + "&";
  const std::string key = "&" + std::string(pszName) + "=";
  const size_t i = q.find(key);
  if (i == std::string::npos) return "";
  return q.substr(i + key.size(), q.find('&', i + key.size()) - i - key.size());
}

void SendHeader(EXTENSION_CONTROL_BLOCK* p, const char* pszStatus, const std::string* pHeader,
                BOOL fKeep) {
  HSE_SEND_HEADER_EX_INFO info{};
  info.pszStatus = pszStatus;
  info.cchStatus = static_cast<DWORD>(std::strlen(pszStatus));
  info.pszHeader = pHeader ? pHeader->c_str() : nullptr;
  info.cchHeader = pHeader ? static_cast<DWORD>(pHeader->size()) : 0;
  info.fKeepConn = fKeep;
  p->ServerSupportFunction(p->ConnID, HSE_REQ_SEND_RESPONSE_HEADER_EX, &info, nullptr, nullptr);
}

void Write(EXTENSION_CONTROL_BLOCK* p, const std::string& s, DWORD dwFlags = 0) {
  DWORD cb = static_cast<DWORD>(s.size());
  p->WriteClient(p->ConnID, const_cast<char*>(s.data()), &cb, dwFlags);
}

void Done(EXTENSION_CONTROL_BLOCK* p) {
  p->ServerSupportFunction(p->ConnID, HSE_REQ_DONE_WITH_SESSION, nullptr, nullptr, nullptr);
}

void Reply200(EXTENSION_CONTROL_BLOCK* p, const std::string& body, const std::string& extra = "") {
  std::string header = "Content-type: text/plain\r\nContent-length: " +
                       std::to_string(body.size()) + "\r\n" + extra + "\r\n";
  SendHeader(p, "200 OK", &header, TRUE);
  Write(p, body, HSE_IO_NODELAY);
}

void Echo(EXTENSION_CONTROL_BLOCK* p) {
  std::string body(reinterpret_cast<const char*>(p->lpbData), p->cbAvailable);
  int nReads = 0;
  bool fChunked = p->cbTotalBytes == 0xFFFFFFFFu;
  while (fChunked || body.size() < p->cbTotalBytes) {
    char rgch[7000];  // odd size: reads end mid-chunk
    DWORD cb = sizeof(rgch);
    if (!p->ReadClient(p->ConnID, rgch, &cb)) {
      ++g_nReadFailures;
      Done(p);
      return;
    }
    ++nReads;
    if (cb == 0) break;
    body.append(rgch, cb);
  }
  char szVars[64] = "";
  DWORD cbVars = sizeof(szVars);
  p->GetServerVariable(p->ConnID, const_cast<char*>("REMOTE_ADDR"), szVars, &cbVars);
  std::string extra = "X-Total-Bytes: " + std::to_string(p->cbTotalBytes) +
                      "\r\nX-Available: " + std::to_string(p->cbAvailable) +
                      "\r\nX-Reads: " + std::to_string(nReads) + "\r\nX-Method: " +
                      p->lpszMethod + "\r\nX-Content-Type: [" + p->lpszContentType +
                      "]\r\nX-Path-Info: [" + p->lpszPathInfo + "]\r\nX-Query: [" +
                      p->lpszQueryString + "]\r\nX-Remote-Addr: " + szVars +
                      "\r\nX-Registry: " + g_szRegistryAtLoad + "\r\n";
  Reply200(p, body, extra);
  Done(p);
}

void Discard(EXTENSION_CONTROL_BLOCK* p) {
  size_t cb = p->cbAvailable;
  char rgch[7000];
  bool fChunked = p->cbTotalBytes == 0xFFFFFFFFu;
  while (fChunked || cb < p->cbTotalBytes) {
    DWORD cbRead = sizeof(rgch);
    if (!p->ReadClient(p->ConnID, rgch, &cbRead) || cbRead == 0) break;
    cb += cbRead;
  }
  explicit_bzero(rgch, sizeof(rgch));
  Reply200(p, std::to_string(cb));
}

void Serve(EXTENSION_CONTROL_BLOCK* p) {
  const std::string mode = QueryValue(p->lpszQueryString, "mode");
  if (mode == "echo") {
    Echo(p);
  } else if (mode == "discard") {
    Discard(p);
  } else if (mode == "chunked") {
    std::string header = "Content-type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n";
    SendHeader(p, "200 OK", &header, TRUE);
    Write(p, "5\r\nfirst\r\n");
    Write(p, "6\r\nsecond\r\n");
    Write(p, "5\r\nthird\r\n0\r\n\r\n", HSE_IO_NODELAY);
  } else if (mode == "nolength") {
    std::string header = "Content-type: text/plain\r\n\r\n";
    SendHeader(p, "200 OK", &header, TRUE);
    Write(p, "until the close");
  } else if (mode == "sleep") {
    ++g_nSleeping;
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::atoi(QueryValue(p->lpszQueryString, "ms").c_str())));
    --g_nSleeping;
    Reply200(p, "slept");
  } else if (mode == "stats") {
    Reply200(p, "read_failures=" + std::to_string(g_nReadFailures.load()) +
                    " served=" + std::to_string(g_nServed.load()) +
                    " sleeping=" + std::to_string(g_nSleeping.load()));
  } else if (mode == "bare") {
    SendHeader(p, "405 method not supported", nullptr, FALSE);
  } else if (mode == "bare-keep") {
    SendHeader(p, "200 OK", nullptr, TRUE);
  } else if (mode == "refuse-keep") {
    static const std::string s_header = "Content-Length: 0\r\n\r\n";
    SendHeader(p, "405 method not supported", &s_header, TRUE);
  } else if (mode != "silent") {
    SendHeader(p, "400 unknown test mode", nullptr, FALSE);
  }
  if (mode != "echo") Done(p);  // echo ends its own session, also on a failed read
  ++g_nServed;
}

void WorkerMain() {
  while (EXTENSION_CONTROL_BLOCK* p = g_queue.Pop()) Serve(p);
}

}  // namespace

extern "C" BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  const char* pszRefuse = std::getenv("VLT_TEST_EXTENSION_REFUSE");
  if (pszRefuse != nullptr && std::strcmp(pszRefuse, "1") == 0) return FALSE;
  if (pVer != nullptr) {
    pVer->dwExtensionVersion = 0x00010000;
    std::snprintf(pVer->lpszExtensionDesc, HSE_MAX_EXT_DLL_NAME_LEN, "vltadmin-host test extension");
  }
  const char* pszWorkers = std::getenv("VLT_TEST_EXTENSION_WORKERS");
  int nWorkers = pszWorkers ? std::atoi(pszWorkers) : 4;
  for (int i = 0; i < (nWorkers > 0 ? nWorkers : 1); ++i) g_workers.emplace_back(WorkerMain);
  if (const char* psz = std::getenv("VLT_TEST_EXTENSION_STOP_AT_START"); psz && *psz == '1')
    kill(getpid(), SIGTERM);
  return TRUE;
}

extern "C" DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  if (QueryValue(pECB->lpszQueryString, "mode") == "error") return HSE_STATUS_ERROR;
  g_queue.Push(pECB);
  return HSE_STATUS_PENDING;
}

extern "C" BOOL WINAPI TerminateExtension(DWORD) {
  g_queue.Stop();
  for (auto& t : g_workers) t.join();
  g_workers.clear();
  return TRUE;
}
