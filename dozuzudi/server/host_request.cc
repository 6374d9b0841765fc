#include "server/host_request.h"

#include <string.h>

#include <cstring>

#include "server/isapi_callbacks.h"

void CCallResult::Reset() {
  CMutexLock guard(&m_lock);
  m_fDone = false;
}

void CCallResult::Complete(bool fOk, DWORD cb) {
  // Notify while holding the lock: the waiter may destroy this object as soon
  // as it sees m_fDone, which it cannot before the lock is released.
  CMutexLock guard(&m_lock);
  m_fDone = true;
  m_fOk = fOk;
  m_cb = cb;
  m_cv.notify_one();
}

bool CCallResult::Wait(DWORD& cb) {
  CMutexLock guard(&m_lock);
  while (!m_fDone) m_cv.wait(m_lock);
  cb = m_cb;
  return m_fOk;
}

void CHostRequest::Recycle() {
  if (!m_readAhead.empty()) explicit_bzero(m_readAhead.data(), m_readAhead.size());
  m_readAhead.clear();
  m_pChannelOwner.reset();
  m_method.clear();
  m_queryString.clear();
  m_pathInfo.clear();
  m_contentType.clear();
  m_url.clear();
  m_scriptName.clear();
  m_peerAddress.clear();
  m_framing = CResponseFraming();
  m_pendingHead.clear();
  m_fKeepConn = false;
  m_nStatus = 0;
}

void CHostRequest::FillControlBlock(DWORD cbTotalBytes, DWORD cbAvailable) {
  static BYTE s_bEmpty = 0;
  std::memset(&m_ecb, 0, sizeof(m_ecb));
  m_ecb.cbSize = sizeof(m_ecb);
  m_ecb.dwVersion = (HSE_VERSION_MAJOR << 16) | HSE_VERSION_MINOR;
  m_ecb.ConnID = this;
  m_ecb.dwHttpStatusCode = 200;
  m_ecb.lpszMethod = m_method.data();
  m_ecb.lpszQueryString = m_queryString.data();
  m_ecb.lpszPathInfo = m_pathInfo.data();
  m_ecb.lpszPathTranslated = m_pathInfo.data();
  m_ecb.cbTotalBytes = cbTotalBytes;
  m_ecb.cbAvailable = cbAvailable;
  m_ecb.lpbData = m_readAhead.empty() ? &s_bEmpty : m_readAhead.data();
  m_ecb.lpszContentType = m_contentType.data();
  m_ecb.GetServerVariable = IsapiGetServerVariable;
  m_ecb.WriteClient = IsapiWriteClient;
  m_ecb.ReadClient = IsapiReadClient;
  m_ecb.ServerSupportFunction = IsapiServerSupportFunction;
}
