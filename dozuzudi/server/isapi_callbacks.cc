#include "server/isapi_callbacks.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "server/host_request.h"
#include "server/request_channel.h"

namespace {

constexpr size_t kMaxLogNote = 80;

CHostRequest* RequestOf(HCONN hConn) { return static_cast<CHostRequest*>(hConn); }

bool SendHeader(CHostRequest& r, std::string_view status, const char* pchHeader, size_t cchHeader,
                bool fKeepConn) {
  if (status.empty()) status = "200 OK";
  std::string head = BuildResponseHead(status, pchHeader, cchHeader, fKeepConn);
  r.m_framing.OnHeader(std::string_view(head).substr(head.find('\n') + 1));
  r.m_pendingHead.append(head);
  r.m_fKeepConn = fKeepConn;
  r.m_nStatus = StatusCode(status);
  return true;
}

size_t BoundedLength(const char* psz, DWORD cchGiven) {
  if (psz == nullptr) return 0;
  return cchGiven != 0 ? cchGiven : std::strlen(psz);
}

}  // namespace

BOOL WINAPI IsapiReadClient(HCONN ConnID, LPVOID lpvBuffer, LPDWORD lpdwSize) {
  CHostRequest* pr = RequestOf(ConnID);
  if (pr == nullptr || lpdwSize == nullptr || (lpvBuffer == nullptr && *lpdwSize != 0))
    return FALSE;
  DWORD cb = *lpdwSize;
  bool fOk = pr->m_pChannel->ReadBody(*pr, lpvBuffer, cb);
  *lpdwSize = fOk ? cb : 0;
  return fOk ? TRUE : FALSE;
}

BOOL WINAPI IsapiWriteClient(HCONN ConnID, LPVOID Buffer, LPDWORD lpdwBytes, DWORD) {
  CHostRequest* pr = RequestOf(ConnID);
  if (pr == nullptr || lpdwBytes == nullptr || (Buffer == nullptr && *lpdwBytes != 0))
    return FALSE;
  bool fOk = pr->m_pChannel->WriteBody(*pr, Buffer, *lpdwBytes);
  if (!fOk) *lpdwBytes = 0;
  return fOk ? TRUE : FALSE;
}

BOOL WINAPI IsapiServerSupportFunction(HCONN hConn, DWORD dwHSERequest, LPVOID lpvBuffer,
                                       LPDWORD lpdwSize, LPDWORD lpdwDataType) {
  CHostRequest* pr = RequestOf(hConn);
  if (pr == nullptr) return FALSE;
  switch (dwHSERequest) {
    case HSE_REQ_SEND_RESPONSE_HEADER_EX: {
      auto* pInfo = static_cast<HSE_SEND_HEADER_EX_INFO*>(lpvBuffer);
      if (pInfo == nullptr) return FALSE;
      std::string_view status(pInfo->pszStatus ? pInfo->pszStatus : "",
                              BoundedLength(pInfo->pszStatus, pInfo->cchStatus));
      return SendHeader(*pr, status, pInfo->pszHeader,
                        BoundedLength(pInfo->pszHeader, pInfo->cchHeader),
                        pInfo->fKeepConn != FALSE)
                 ? TRUE
                 : FALSE;
    }
    case HSE_REQ_SEND_RESPONSE_HEADER: {
      // Status in lpvBuffer, header lines in lpdwDataType (as a string).
      const char* pszStatus = static_cast<const char*>(lpvBuffer);
      const char* pszHeader = reinterpret_cast<const char*>(lpdwDataType);
      std::string_view status(pszStatus ? pszStatus : "", BoundedLength(pszStatus, 0));
      return SendHeader(*pr, status, pszHeader, BoundedLength(pszHeader, 0), false) ? TRUE : FALSE;
    }
    case HSE_REQ_APPEND_LOG_PARAMETER: {
      const char* pch = static_cast<const char*>(lpvBuffer);
      if (pch == nullptr || lpdwSize == nullptr) return FALSE;
      size_t cch = std::min<size_t>(*lpdwSize, kMaxLogNote - std::min(kMaxLogNote, pr->m_logNote.size()));
      if (!pr->m_logNote.empty() && cch != 0) pr->m_logNote.push_back(' ');
      pr->m_logNote.append(pch, cch);
      return TRUE;
    }
    case HSE_REQ_DONE_WITH_SESSION:
      (void)lpdwSize;
      pr->m_pChannel->EndSession(*pr);
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL WINAPI IsapiGetServerVariable(HCONN hConn, LPSTR lpszVariableName, LPVOID lpvBuffer,
                                   LPDWORD lpdwSize) {
  CHostRequest* pr = RequestOf(hConn);
  if (pr == nullptr || lpszVariableName == nullptr || lpdwSize == nullptr) return FALSE;
  std::string_view name(lpszVariableName);
  std::string value;
  if (name == "REQUEST_METHOD") {
    value = pr->m_method;
  } else if (name == "QUERY_STRING") {
    value = pr->m_queryString;
  } else if (name == "PATH_INFO") {
    value = pr->m_pathInfo;
  } else if (name == "CONTENT_TYPE") {
    value = pr->m_contentType;
  } else if (name == "CONTENT_LENGTH") {
    value = std::to_string(pr->m_ecb.cbTotalBytes == 0xFFFFFFFFu ? 0 : pr->m_ecb.cbTotalBytes);
  } else if (name == "URL") {
    value = pr->m_url;
  } else if (name == "SCRIPT_NAME") {
    value = pr->m_scriptName;
  } else if (name == "REMOTE_ADDR" || name == "REMOTE_HOST") {
    value = pr->m_peerAddress;
  } else if (name == "REMOTE_PORT") {
    value = std::to_string(pr->m_nPeerPort);
  } else if (name == "SERVER_PORT") {
    value = std::to_string(pr->m_nServerPort);
  } else if (name == "SERVER_PROTOCOL") {
    value = pr->m_fHttp10 ? "HTTP/1.0" : "HTTP/1.1";
  } else if (name == "HTTPS") {
    value = pr->m_fTls ? "on" : "off";
  } else {
    return FALSE;
  }
  DWORD cbNeeded = static_cast<DWORD>(value.size() + 1);
  if (lpvBuffer == nullptr || *lpdwSize < cbNeeded) {
    *lpdwSize = cbNeeded;
    return FALSE;
  }
  std::memcpy(lpvBuffer, value.c_str(), cbNeeded);
  *lpdwSize = cbNeeded;
  return TRUE;
}
