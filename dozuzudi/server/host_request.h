// One request handed to an extension: the control block, the strings and
// bytes it points to, and the state its callbacks share with the connection.
//
// The worker-side fields (m_framing, m_pendingHead, m_fKeepConn, m_nStatus)
// are written by the extension's thread inside a callback and read by the
// connection's io thread only after that thread has been handed the next
// step (a posted write or the end of the session), so they need no lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/isapi/isapi.h"
#include "server/host_mutex.h"
#include "server/response_framing.h"
#include "server/wiping_allocator.h"

class IRequestChannel;

// A one-shot result a worker thread waits for while an io thread does the
// work (a body read or a write).
class CCallResult {
 public:
  void Reset() EXCLUDES(m_lock);
  void Complete(bool fOk, DWORD cb) EXCLUDES(m_lock);
  // Blocks until Complete; returns its values.
  bool Wait(DWORD& cb) EXCLUDES(m_lock);

 private:
  CMutex m_lock;
  CCondition m_cv;
  bool m_fDone GUARDED_BY(m_lock) = false;
  bool m_fOk GUARDED_BY(m_lock) = false;
  DWORD m_cb GUARDED_BY(m_lock) = 0;
};

struct CHostRequest {
  EXTENSION_CONTROL_BLOCK m_ecb;
  IRequestChannel* m_pChannel = nullptr;
  uint64_t m_nSerial = 0;  // tells a late end of session from the current request
  // Keeps the connection alive while the extension holds the request and no
  // socket operation is pending.
  std::shared_ptr<IRequestChannel> m_pChannelOwner;

  // Strings the control block points to.
  std::string m_method;
  std::string m_queryString;
  std::string m_pathInfo;
  std::string m_contentType;
  std::string m_url;  // decoded path, for the log and URL/SCRIPT_NAME
  std::string m_scriptName;
  std::vector<BYTE, CWipingAllocator<BYTE>> m_readAhead;  // body bytes: wiped when freed

  // Server variables that need the connection.
  std::string m_peerAddress;
  unsigned short m_nPeerPort = 0;
  unsigned short m_nServerPort = 0;
  bool m_fTls = false;
  bool m_fHttp10 = false;

  // Written by the worker inside callbacks (see above).
  CResponseFraming m_framing;
  std::string m_pendingHead;  // status line and header not yet on the wire
  bool m_fKeepConn = false;
  int m_nStatus = 0;

  CCallResult m_call;
  std::chrono::steady_clock::time_point m_tStart;

  // Points the control block at the fields above and at the callbacks.
  void FillControlBlock(DWORD cbTotalBytes, DWORD cbAvailable);
  // After the request: wipes the body bytes and empties the fields (keeping
  // their storage), so that the connection's next request can use the
  // object without allocating.
  void Recycle();
};
