#include "server/connection.h"

#include <errno.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <vector>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/read.hpp>

#include "server/extension_module.h"
#include "server/http_server.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using beast::error_code;
using asio::ip::tcp;

namespace {

constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr size_t kMaxLingerBytes = 1 << 20;
constexpr size_t kInitialReadRoom = 2048;

// Exactly one Transfer-Encoding line saying "chunked", or none: any other
// coding, or a list, could frame the body differently for a proxy in front.
bool HasPlainFraming(const CConnectionRequest& req) {
  size_t nCodings = 0;
  bool fChunked = false;
  for (const auto& field : req) {
    if (field.name() != http::field::transfer_encoding) continue;
    ++nCodings;
    std::string_view value(field.value().data(), field.value().size());
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    fChunked = beast::iequals(value, "chunked");
  }
  return nCodings == 0 || (nCodings == 1 && fChunked);
}

bool IsParseError(const error_code& ec) {
  static const auto& s_category = http::make_error_code(http::error::bad_target).category();
  return ec.category() == s_category && ec != http::error::end_of_stream &&
         ec != http::error::partial_message;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes %XX escapes of a URL path; false on a bad escape or a NUL.
bool DecodePath(std::string_view raw, std::string& out) {
  out.clear();
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '%') {
      if (i + 2 >= raw.size()) return false;
      int hi = HexValue(raw[i + 1]), lo = HexValue(raw[i + 2]);
      if (hi < 0 || lo < 0) return false;
      c = static_cast<char>(hi * 16 + lo);
      i += 2;
    }
    if (c == '\0') return false;
    out.push_back(c);
  }
  return true;
}

std::string FormatEndpoint(const tcp::endpoint& ep) {
  std::string addr = ep.address().to_string();
  if (ep.address().is_v6()) addr = "[" + addr + "]";
  return addr + ":" + std::to_string(ep.port());
}

}  // namespace

CConnection::CConnection(CHttpServer& server, size_t iSlot, tcp::socket socket,
                         const tcp::endpoint& peer, asio::ssl::context* pTls)
    : m_server(server), m_iSlot(iSlot), m_io(server.IoContext(iSlot)) {
  m_peer = FormatEndpoint(peer);
  m_peerAddress = peer.address().to_string();
  m_nPeerPort = peer.port();
  m_addressKey = CClientAddresses::KeyOf(peer.address());
  error_code ec;
  socket.set_option(tcp::no_delay(true), ec);
  // Room for a whole request of the usual size, so that it takes one read.
  m_buffer.reserve(kInitialReadRoom);
  if (pTls)
    m_pTls = std::make_unique<beast::ssl_stream<beast::tcp_stream>>(std::move(socket), *pTls);
  else
    m_pPlain = std::make_unique<beast::tcp_stream>(std::move(socket));
}

CConnection::~CConnection() {
  SetWaiting(false);
  m_server.Unregister(m_iSlot, this);  // when it ended without Close
  m_server.ConnectionGone(m_addressKey);
}

beast::tcp_stream& CConnection::Tcp() {
  return m_pTls ? beast::get_lowest_layer(*m_pTls) : *m_pPlain;
}

void CConnection::Start() {
  m_server.Register(m_iSlot, this);
  SetWaiting(true);
  if (!m_pTls) {
    ReadHeader(true);
    return;
  }
  m_eState = eHandshake;
  Tcp().expires_after(m_server.Options().m_headerTimeout);
  m_pTls->async_handshake(asio::ssl::stream_base::server,
                          [self = shared_from_this()](error_code ec) {
                            if (self->m_eState == eClosed) return;
                            if (ec)
                              self->Close();
                            else
                              self->ReadHeader(true);
                          });
}

void CConnection::CloseIfIdle() {
  CMutexLock guard(&m_handoff);
  if (m_eState == eIdle || m_eState == eHandshake) Close();
}

void CConnection::CloseIfWaiting() {
  CMutexLock guard(&m_handoff);
  m_fEvicted.store(false);
  if (m_eState == eReadAhead) {
    m_pRequest.reset();  // not handed to the extension: it holds a reference to this
    Close();
  } else if (m_eState == eIdle || m_eState == eHandshake) {
    Close();
  }
}

void CConnection::SetWaiting(bool fWaiting) {
  int64_t nSince = 0;
  if (fWaiting)
    nSince = std::max<int64_t>(1, std::chrono::steady_clock::now().time_since_epoch().count());
  int64_t nWas = m_nWaitingSince.exchange(nSince);
  if ((nWas != 0) == fWaiting) return;
  if (fWaiting)
    m_server.BeginWaiting();
  else
    m_server.EndWaiting();
}

// The bytes of requests already parsed (bodies among them) are cleared from
// the read buffer; unparsed ones (a pipelined request) are kept.
void CConnection::WipeConsumed() {
  const size_t cbKept = m_buffer.size();
  std::vector<char, CWipingAllocator<char>> rgKept;
  if (cbKept > 0) {
    rgKept.resize(cbKept);
    asio::buffer_copy(asio::buffer(rgKept), m_buffer.data());
  }
  // Emptied, the buffer hands out its whole storage.
  m_buffer.consume(cbKept);
  auto room = m_buffer.prepare(m_buffer.capacity());
  explicit_bzero(room.data(), room.size());
  if (cbKept > 0) {
    asio::buffer_copy(m_buffer.prepare(cbKept), asio::buffer(rgKept));
    m_buffer.commit(cbKept);
  }
}

void CConnection::ReadHeader(bool fFirst) {
  if (m_server.Stopping()) {
    CloseGracefully();
    return;
  }
  StartReadHeader(fFirst);
}

// Also called on the extension's thread, which hands the connection back
// to the io thread with it.
void CConnection::StartReadHeader(bool fFirst) {
  m_eState = eIdle;
  SetWaiting(true);
  const CHostOptions& opts = m_server.Options();
  m_parser.emplace();
  m_parser->header_limit(static_cast<std::uint32_t>(opts.m_cbMaxHeader));
  // A declared length over it is refused before any body byte is read (and
  // before a "100 Continue").
  m_parser->body_limit(opts.m_cbReadAhead);
  Tcp().expires_after(fFirst || m_buffer.size() > 0 ? opts.m_headerTimeout
                                                    : opts.m_keepAliveTimeout);
  WithStream([this](auto& stream) {
    http::async_read_header(stream, m_buffer, *m_parser,
                            [self = shared_from_this()](error_code ec, size_t) {
                              self->OnHeader(ec);
                            });
  });
}

void CConnection::OnHeader(error_code ec) {
  if (m_eState == eClosed) return;
  m_tStart = std::chrono::steady_clock::now();
  m_cbSent = 0;
  m_logMethod = "-";
  m_logPath = "-";
  if (ec == http::error::header_limit) {
    Reply("431 Request Header Fields Too Large", false);
  } else if (ec == http::error::body_limit) {
    Reply("413 Payload Too Large", false);
  } else if (IsParseError(ec)) {
    Reply("400 Bad Request", false);
  } else if (ec) {
    Close();  // closed, reset or timed out while waiting for a request
  } else {
    StartRequest();
  }
}

void CConnection::StartRequest() {
  auto& req = m_parser->get();
  m_logMethod.assign(req.method_string().data(), req.method_string().size());
  if (req.version() != 10 && req.version() != 11) {
    Reply("505 HTTP Version Not Supported", false);
    return;
  }
  if (!HasPlainFraming(req) || (req.version() == 11 && req.count(http::field::host) != 1)) {
    Reply("400 Bad Request", false);
    return;
  }
  std::string_view target(req.target().data(), req.target().size());
  // Absolute form: drop the scheme and authority.
  for (std::string_view scheme : {"http://", "https://"}) {
    if (target.size() > scheme.size() && beast::iequals(target.substr(0, scheme.size()), scheme)) {
      size_t iSlash = target.find('/', scheme.size());
      target = iSlash == std::string_view::npos ? std::string_view("/") : target.substr(iSlash);
    }
  }
  size_t iQuery = target.find('?');
  std::string_view rawPath = target.substr(0, iQuery);
  std::string path;
  if (rawPath.empty() || rawPath[0] != '/' || !DecodePath(rawPath, path)) {
    Reply("400 Bad Request", false);
    return;
  }
  m_logPath = path;
  CHostReply builtIn;
  if (m_server.ServeBuiltIn(m_logMethod, path, m_pTls != nullptr, builtIn)) {
    ReplyWith(builtIn, m_parser->is_done() && m_parser->keep_alive());
    return;
  }
  std::string_view pathInfo;
  m_pExtension = m_server.FindExtension(path, pathInfo);
  if (m_pExtension == nullptr) {
    Reply("404 Not Found", m_parser->is_done() && m_parser->keep_alive());
    return;
  }
  if (!m_server.Admit()) {
    Reply("503 Service Unavailable", false);
    return;
  }
  m_fAdmitted = true;

  auto pr = m_pSpare ? std::move(m_pSpare) : std::make_unique<CHostRequest>();
  pr->m_pChannel = this;
  pr->m_pChannelOwner = shared_from_this();
  pr->m_nSerial = ++m_nSerial;
  pr->m_method = m_logMethod;
  if (iQuery != std::string_view::npos) pr->m_queryString.assign(target.substr(iQuery + 1));
  pr->m_pathInfo.assign(pathInfo);
  pr->m_url = path;
  pr->m_scriptName = m_pExtension->UrlPath();
  auto contentType = req[http::field::content_type];
  pr->m_contentType.assign(contentType.data(), contentType.size());
  pr->m_fTls = m_pTls != nullptr;
  pr->m_fHttp10 = req.version() == 10;
  pr->m_tStart = m_tStart;
  pr->m_peerAddress = m_peerAddress;
  pr->m_nPeerPort = m_nPeerPort;
  pr->m_nServerPort = m_server.LocalPort();

  // Room for the whole body: the parser's body limit refuses a longer one
  // (a chunked body gets a byte more, so that its end fits beside a body of
  // exactly the limit).
  size_t cbRoom = 0;
  if (m_parser->chunked())
    cbRoom = m_server.Options().m_cbReadAhead + 1;
  else if (auto cl = m_parser->content_length(); cl && *cl > 0)
    cbRoom = static_cast<size_t>(*cl);
  pr->m_readAhead.resize(cbRoom);
  m_cbAhead = 0;
  m_tBodyStart = std::chrono::steady_clock::now();
  m_pRequest = std::move(pr);

  m_eState = eReadAhead;
  if (!m_parser->is_done() && req.version() == 11 &&
      beast::iequals(req[http::field::expect], "100-continue")) {
    static const char s_szContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
    Tcp().expires_after(m_server.Options().m_writeTimeout);
    WithStream([this](auto& stream) {
      asio::async_write(stream, asio::buffer(s_szContinue, sizeof(s_szContinue) - 1),
                        [self = shared_from_this()](error_code ec, size_t) {
                          if (self->m_eState == eClosed) return;
                          if (ec) {
                            self->m_pRequest.reset();
                            self->Close();
                          } else {
                            self->ReadAhead();
                          }
                        });
    });
    return;
  }
  ReadAhead();
}

// Reads the whole body before the extension sees the request. The body has
// one deadline, the body timeout plus what it received so far at the
// minimum rate, so that a client trickling a byte now and then cannot keep
// the connection forever.
void CConnection::ReadAhead() {
  size_t cbCap = m_pRequest->m_readAhead.size();
  if (m_parser->is_done()) {
    Dispatch();
    return;
  }
  if (m_cbAhead >= cbCap) {
    m_pRequest.reset();
    Reply("413 Payload Too Large", false);
    return;
  }
  auto& body = m_parser->get().body();
  body.data = m_pRequest->m_readAhead.data() + m_cbAhead;
  body.size = cbCap - m_cbAhead;
  const CHostOptions& opts = m_server.Options();
  Tcp().expires_at(m_tBodyStart + opts.m_bodyTimeout +
                   std::chrono::milliseconds(m_cbAhead * 1000 / opts.m_cbBodyMinRate));
  WithStream([this](auto& stream) {
    http::async_read_some(
        stream, m_buffer, *m_parser, [self = shared_from_this()](error_code ec, size_t) {
          if (self->m_eState == eClosed) return;
          if (ec == http::error::need_buffer) ec = {};
          auto& b = self->m_parser->get().body();
          self->m_cbAhead = self->m_pRequest->m_readAhead.size() - b.size;
          b.data = nullptr;
          b.size = 0;
          if (ec) {
            self->m_pRequest.reset();
            if (ec == http::error::body_limit)
              self->Reply("413 Payload Too Large", false);
            else if (IsParseError(ec))
              self->Reply("400 Bad Request", false);
            else
              self->Close();
            return;
          }
          self->ReadAhead();
        });
  });
}

void CConnection::Dispatch() {
  if (m_eState == eClosed) return;  // closed while its extension restarted
  // Held while the extension restarts; dispatched again on this thread after.
  if (!m_pExtension->Enter([self = shared_from_this()] {
        asio::post(self->m_io, [self] { self->Dispatch(); });
      }))
    return;
  m_eState = eInExtension;
  SetWaiting(false);
  Tcp().expires_never();
  WipeConsumed();
  // The whole body is at hand: ReadClient never waits on the client. A
  // chunked body still has no declared length for the extension
  // (0xFFFFFFFF), as ISAPI marks it.
  m_pRequest->FillControlBlock(m_parser->chunked() ? 0xFFFFFFFFu : static_cast<DWORD>(m_cbAhead),
                               static_cast<DWORD>(m_cbAhead));
  // From the call on, the extension's thread may end the request and read
  // the next one: nothing of the connection is touched here after a pending
  // result.
  m_fAdmitted = false;
  m_fWithExtension.store(true);
  const CExtensionModule* pExtension = m_pExtension;
  DWORD dwResult = pExtension->HttpExtensionProc(&m_pRequest->m_ecb);
  pExtension->Leave();
  m_server.LeaveAdmission();
  if (dwResult == HSE_STATUS_PENDING) return;  // the extension ends the session
  m_fWithExtension.store(false);
  CHostRequest& r = *m_pRequest;
  if (dwResult == HSE_STATUS_ERROR) {
    if (!r.m_framing.HeaderSent() && r.m_pendingHead.empty() && m_cbSent == 0) {
      r.m_pendingHead = "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n"
                        "Connection: close\r\n\r\n";
      r.m_nStatus = 500;
    }
    r.m_fKeepConn = false;
  } else if (dwResult != HSE_STATUS_SUCCESS_AND_KEEP_CONN) {
    r.m_fKeepConn = false;
  }
  FinishRequest();
}

// The extension had the whole body in the control block: a read past it
// finds its end.
bool CConnection::ReadBody(CHostRequest&, void*, DWORD& cb) {
  cb = 0;
  return true;
}

bool CConnection::WriteBody(CHostRequest& r, const void* pv, DWORD cb) {
  if (OnIoThread()) return false;  // would block the thread that must do the write
  r.m_framing.OnBody(pv, cb);
  if (m_pTls) return PostWrite(r, pv, cb, cb);
  // Plain TCP: the extension's thread writes what the socket takes now.
  if (m_fBroken) return false;
  error_code ec;
  size_t cbHead = r.m_pendingHead.size();
  size_t cbSent = SendNow(r.m_pendingHead, pv, cb, ec);
  m_cbSent += cbSent;
  if (ec) {
    m_fBroken = true;
    return false;
  }
  size_t cbBodySent = cbSent > cbHead ? cbSent - cbHead : 0;
  r.m_pendingHead.erase(0, std::min(cbSent, cbHead));
  if (cbBodySent == cb && r.m_pendingHead.empty()) return true;
  // The socket is full: the io thread sends the rest when it can.
  return PostWrite(r, static_cast<const char*>(pv) + cbBodySent,
                   static_cast<DWORD>(cb - cbBodySent), cb);
}

size_t CConnection::SendNow(std::string_view head, const void* pv, size_t cb, error_code& ec) {
  const int fd = m_pPlain->socket().native_handle();
  size_t cbSent = 0;
  const size_t cbTotal = head.size() + cb;
  while (cbSent < cbTotal) {
    iovec rgIov[2];
    int nIov = 0;
    if (cbSent < head.size())
      rgIov[nIov++] = {const_cast<char*>(head.data()) + cbSent, head.size() - cbSent};
    size_t cbBodyDone = cbSent > head.size() ? cbSent - head.size() : 0;
    if (cb > cbBodyDone)
      rgIov[nIov++] = {static_cast<char*>(const_cast<void*>(pv)) + cbBodyDone, cb - cbBodyDone};
    msghdr msg{};
    msg.msg_iov = rgIov;
    msg.msg_iovlen = static_cast<size_t>(nIov);
    ssize_t n = ::sendmsg(fd, &msg, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) {
      cbSent += static_cast<size_t>(n);
    } else if (errno != EINTR) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) ec.assign(errno, boost::system::system_category());
      break;
    }
  }
  return cbSent;
}

// The io thread sends the pending header, then |cb| bytes at |pv|, and wakes
// the extension's thread; the write reports |cbReport| bytes.
bool CConnection::PostWrite(CHostRequest& r, const void* pv, DWORD cb, DWORD cbReport) {
  r.m_call.Reset();
  asio::post(m_io, [self = shared_from_this(), pr = &r, pv, cb, cbReport] {
    if (self->m_fBroken || self->m_eState == eClosed) {
      pr->m_call.Complete(false, 0);
      return;
    }
    // A vector, not a two-element array: asio's array specialisation of
    // async_write stops early over beast's TLS stream.
    std::vector<asio::const_buffer> rgBuffers{asio::buffer(pr->m_pendingHead),
                                              asio::buffer(pv, cb)};
    self->Tcp().expires_after(self->m_server.Options().m_writeTimeout);
    self->WithStream([&](auto& stream) {
      asio::async_write(stream, rgBuffers, [self, pr, cbReport](error_code ec, size_t n) {
        self->m_cbSent += n;
        pr->m_pendingHead.clear();
        self->Tcp().expires_never();
        if (ec) self->m_fBroken = true;
        pr->m_call.Complete(!ec, ec ? 0 : cbReport);
      });
    });
  });
  DWORD cbDone = 0;
  return r.m_call.Wait(cbDone);
}

void CConnection::EndSession(CHostRequest& r) {
  // Once per request: a second end of the same session is ignored.
  if (!m_fWithExtension.exchange(false)) return;
  if (!m_pTls && !OnIoThread()) {
    FinishOnExtensionThread(r);
    return;
  }
  asio::post(m_io, [self = shared_from_this(), nSerial = r.m_nSerial] {
    if (self->m_pRequest && self->m_pRequest->m_nSerial == nSerial &&
        self->m_eState == eInExtension)
      self->FinishRequest();
  });
}

void CConnection::AnswerIfSilent(CHostRequest& r) {
  if (!m_fBroken && r.m_pendingHead.empty() && m_cbSent == 0) {
    // The extension ended the session without answering.
    r.m_pendingHead = "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n"
                      "Connection: close\r\n\r\n";
    r.m_nStatus = 500;
    r.m_fKeepConn = false;
  }
}

bool CConnection::KeepAfter(const CHostRequest& r) const {
  return !m_fBroken && r.m_fKeepConn && m_parser->keep_alive() && m_parser->is_done() &&
         r.m_framing.IsComplete();
}

// The end of a session on a plain connection, on the extension's thread:
// the rest of the response (a header not sent yet) goes out with it, and
// the read of the next request (or the close) starts from here, so that the
// io thread is not woken for it. A response the socket cannot take at once,
// and a lingering close, are left to the io thread.
void CConnection::FinishOnExtensionThread(CHostRequest& r) {
  auto self = shared_from_this();  // the request holds a reference that goes with it
  CMutexLock guard(&m_handoff);
  m_eState = eFinishing;
  AnswerIfSilent(r);
  if (!m_fBroken && !r.m_pendingHead.empty()) {
    error_code ec;
    size_t cbSent = SendNow(r.m_pendingHead, nullptr, 0, ec);
    m_cbSent += cbSent;
    r.m_pendingHead.erase(0, cbSent);
    if (ec) {
      m_fBroken = true;
    } else if (!r.m_pendingHead.empty()) {
      asio::post(m_io, [self] { self->FinishRequest(); });
      return;
    }
  }
  bool fKeep = KeepAfter(r);
  LogRequest(r.m_nStatus);
  r.Recycle();
  m_pSpare = std::move(m_pRequest);
  if (fKeep && !m_server.Stopping()) {
    StartReadHeader(false);
    return;
  }
  // A close that needs no lingering (the request was read to its end and no
  // further bytes wait) happens here too; lingering is left to the io thread.
  error_code ec;
  bool fAllRead = m_parser->is_done() && m_buffer.size() == 0;
  if (m_fBroken || (fAllRead && Tcp().socket().available(ec) == 0 && !ec)) {
    Close();
    return;
  }
  asio::post(m_io, [self] { self->CloseGracefully(); });
}

void CConnection::FinishRequest() {
  CHostRequest& r = *m_pRequest;
  m_eState = eFinishing;
  AnswerIfSilent(r);
  if (m_fBroken || r.m_pendingHead.empty()) {
    CompleteRequest();
    return;
  }
  Tcp().expires_after(m_server.Options().m_writeTimeout);
  WithStream([this](auto& stream) {
    asio::async_write(stream, asio::buffer(m_pRequest->m_pendingHead),
                      [self = shared_from_this()](error_code ec, size_t n) {
                        self->m_cbSent += n;
                        self->m_pRequest->m_pendingHead.clear();
                        if (ec) self->m_fBroken = true;
                        self->CompleteRequest();
                      });
  });
}

void CConnection::CompleteRequest() {
  auto self = shared_from_this();  // the request may hold the last reference
  CHostRequest& r = *m_pRequest;
  bool fKeep = KeepAfter(r);
  LogRequest(r.m_nStatus);
  r.Recycle();
  m_pSpare = std::move(m_pRequest);
  AfterResponse(fKeep);
}

void CConnection::AfterResponse(bool fKeep) {
  if (fKeep && !m_server.Stopping())
    ReadHeader(false);
  else
    CloseGracefully();
}

void CConnection::Reply(const char* pszStatus, bool fKeep) {
  CHostReply reply;
  reply.m_nStatus = StatusCode(pszStatus);
  reply.m_head.assign("HTTP/1.1 ").append(pszStatus).append("\r\n");
  ReplyWith(reply, fKeep);
}

void CConnection::ReplyWith(const CHostReply& reply, bool fKeep) {
  fKeep = fKeep && !m_server.Stopping();
  m_eState = eFinishing;
  SetWaiting(false);
  m_reply = reply.Wire(fKeep);
  int nStatus = reply.m_nStatus;
  Tcp().expires_after(m_server.Options().m_writeTimeout);
  WithStream([this, fKeep, nStatus](auto& stream) {
    asio::async_write(stream, asio::buffer(m_reply),
                      [self = shared_from_this(), fKeep, nStatus](error_code ec, size_t n) {
                        self->m_cbSent += n;
                        self->LogRequest(nStatus);
                        if (ec) {
                          self->m_fBroken = true;
                          self->Close();
                        } else {
                          self->AfterResponse(fKeep);
                        }
                      });
  });
}

void CConnection::CloseGracefully() {
  if (m_eState == eClosing || m_eState == eClosed) return;
  m_eState = eClosing;
  if (m_fBroken) {
    Close();
    return;
  }
  // Lingering close: stop sending, then read and drop what the client still
  // sends, so that its unread request bytes do not turn our close into a
  // reset that could destroy the response before the client has read it.
  Tcp().expires_after(kLingerTime);
  m_cbDrained = 0;
  if (m_pTls) {
    m_pTls->async_shutdown([self = shared_from_this()](error_code) { self->Close(); });
    return;
  }
  error_code ec;
  // Nothing unread (the request was read to its end and no further bytes
  // wait): the close cannot turn into a reset, so no lingering is needed.
  bool fAllRead = m_parser && m_parser->is_done() && m_buffer.size() == 0;
  if (fAllRead && Tcp().socket().available(ec) == 0 && !ec) {
    Close();
    return;
  }
  Tcp().socket().shutdown(tcp::socket::shutdown_send, ec);
  Drain();
}

void CConnection::Drain() {
  m_pPlain->async_read_some(asio::buffer(m_rgDrain),
                            [self = shared_from_this()](error_code ec, size_t n) {
                              self->m_cbDrained += n;
                              if (ec || self->m_cbDrained > kMaxLingerBytes)
                                self->Close();
                              else
                                self->Drain();
                            });
}

void CConnection::Close() {
  if (m_eState == eClosed) return;
  m_eState = eClosed;
  SetWaiting(false);
  if (m_fAdmitted) {
    m_fAdmitted = false;
    m_server.LeaveAdmission();
  }
  Tcp().close();  // a FIN, or a reset when unread bytes remain
  explicit_bzero(m_rgDrain, sizeof(m_rgDrain));
  WipeConsumed();
  m_server.Unregister(m_iSlot, this);
}

void CConnection::LogRequest(int nStatus) {
  auto duration = std::chrono::steady_clock::now() - m_tStart;
  m_server.Metrics().CountRequest(nStatus, duration);
  if (!m_server.Log().IsOpen()) return;
  m_server.Log().Write(m_peer, m_logMethod, m_logPath, nStatus, m_cbSent, duration);
}
