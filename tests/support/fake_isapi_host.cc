#include "fake_isapi_host.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "admin/host/extension_exports.h"

namespace vlttest {

namespace {
FakeConnection* Conn(HCONN c) { return static_cast<FakeConnection*>(c); }
}  // namespace

FakeConnection::FakeConnection(const FakeRequestOptions& options)
    : m_options(options), m_method(options.method), m_contentType(options.contentType) {
  m_ecb.cbSize = sizeof(m_ecb);
  m_ecb.dwVersion = (HSE_VERSION_MAJOR << 16) | HSE_VERSION_MINOR;
  m_ecb.ConnID = this;
  m_ecb.lpszMethod = m_method.data();
  m_ecb.lpszContentType = m_contentType.data();
  m_ecb.cbTotalBytes =
      options.cbTotal < 0 ? static_cast<DWORD>(options.body.size()) : static_cast<DWORD>(options.cbTotal);
  size_t cbAvailable = options.cbAvailable < 0 ? options.body.size() : static_cast<size_t>(options.cbAvailable);
  m_ecb.cbAvailable = static_cast<DWORD>(cbAvailable);
  m_ecb.lpbData = reinterpret_cast<LPBYTE>(m_options.body.data());
  m_cbServed = cbAvailable;
  m_ecb.ReadClient = &FakeConnection::ReadClient;
  m_ecb.WriteClient = &FakeConnection::WriteClient;
  m_ecb.ServerSupportFunction = &FakeConnection::ServerSupportFunction;
}

BOOL WINAPI FakeConnection::ReadClient(HCONN conn, LPVOID buffer, LPDWORD size) {
  FakeConnection* self = Conn(conn);
  std::unique_lock<std::mutex> guard(self->m_lock);
  ++self->m_nReadCalls;
  self->m_fReadStarted = true;
  self->m_cv.notify_all();
  if (self->m_options.fBlockReads) self->m_cv.wait(guard, [self] { return self->m_fReleased; });
  if (self->m_options.cbFailAfter >= 0 &&
      self->m_cbServed >= static_cast<size_t>(self->m_options.cbFailAfter)) {
    *size = 0;
    return self->m_options.fCloseWithZero ? TRUE : FALSE;
  }
  size_t cbLeft = self->m_options.body.size() - self->m_cbServed;
  if (self->m_options.cbFailAfter >= 0)
    cbLeft = std::min(cbLeft, static_cast<size_t>(self->m_options.cbFailAfter) - self->m_cbServed);
  size_t cb = *size < cbLeft ? *size : cbLeft;
  if (self->m_options.cbReadLimit != 0 && cb > self->m_options.cbReadLimit) cb = self->m_options.cbReadLimit;
  std::memcpy(buffer, self->m_options.body.data() + self->m_cbServed, cb);
  self->m_cbServed += cb;
  *size = static_cast<DWORD>(cb);
  return TRUE;
}

BOOL WINAPI FakeConnection::WriteClient(HCONN conn, LPVOID buffer, LPDWORD size, DWORD flags) {
  FakeConnection* self = Conn(conn);
  std::unique_lock<std::mutex> guard(self->m_lock);
  self->m_fWriteStarted = true;
  self->m_cv.notify_all();
  if (self->m_options.fBlockWrites) self->m_cv.wait(guard, [self] { return self->m_fReleased; });
  self->m_rgWriteFlags.push_back(flags);
  self->m_written.append(static_cast<const char*>(buffer), *size);
  return TRUE;
}

BOOL WINAPI FakeConnection::ServerSupportFunction(HCONN conn, DWORD request, LPVOID buffer,
                                                  LPDWORD, LPDWORD) {
  FakeConnection* self = Conn(conn);
  std::lock_guard<std::mutex> guard(self->m_lock);
  if (request == HSE_REQ_SEND_RESPONSE_HEADER_EX) {
    auto* info = static_cast<HSE_SEND_HEADER_EX_INFO*>(buffer);
    self->m_status.assign(info->pszStatus, info->cchStatus);
    if (info->pszHeader != nullptr) self->m_header.assign(info->pszHeader, info->cchHeader);
    self->m_fKeepConn = info->fKeepConn != FALSE;
    self->m_fHeaderSent = true;
    return TRUE;
  }
  if (request == HSE_REQ_DONE_WITH_SESSION) {
    ++self->m_nDone;
    self->m_cv.notify_all();
    return TRUE;
  }
  return FALSE;
}

void FakeConnection::Release() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_fReleased = true;
  m_cv.notify_all();
}

bool FakeConnection::WaitFor(const std::function<bool()>& fReached, int timeoutMs) {
  std::unique_lock<std::mutex> guard(m_lock);
  return m_cv.wait_for(guard, std::chrono::milliseconds(timeoutMs), fReached);
}
bool FakeConnection::WaitDone(int timeoutMs) { return WaitFor([this] { return m_nDone > 0; }, timeoutMs); }
bool FakeConnection::WaitReadStarted(int timeoutMs) { return WaitFor([this] { return m_fReadStarted; }, timeoutMs); }
bool FakeConnection::WaitWriteStarted(int timeoutMs) { return WaitFor([this] { return m_fWriteStarted; }, timeoutMs); }

#define FAKE_GETTER(type, name, expr)      \
  type FakeConnection::name() {            \
    std::lock_guard<std::mutex> guard(m_lock); \
    return expr;                           \
  }
FAKE_GETTER(bool, Done, m_nDone > 0)
FAKE_GETTER(bool, ReadStarted, m_fReadStarted)
FAKE_GETTER(std::string, Status, m_status)
FAKE_GETTER(bool, HeaderSent, m_fHeaderSent)
FAKE_GETTER(std::string, Header, m_header)
FAKE_GETTER(bool, KeepConn, m_fKeepConn)
FAKE_GETTER(std::string, Written, m_written)
FAKE_GETTER(int, DoneCount, m_nDone)
FAKE_GETTER(int, ReadCalls, m_nReadCalls)
FAKE_GETTER(std::vector<DWORD>, WriteFlags, m_rgWriteFlags)
#undef FAKE_GETTER

FakeConnection& FakeIsapiHost::NewRequest(const FakeRequestOptions& options) {
  m_connections.push_back(std::make_unique<FakeConnection>(options));
  return *m_connections.back();
}

DWORD FakeIsapiHost::Submit(FakeConnection& conn) { return HttpExtensionProc(conn.Ecb()); }

void FakeIsapiHost::ReleaseAll() {
  for (auto& c : m_connections) c->Release();
}

}  // namespace vlttest
