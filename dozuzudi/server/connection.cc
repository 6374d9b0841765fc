#include "server/connection.h"

#include <string.h>

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
constexpr uint64_t kMaxBodyBytes = 0xFFFFFFFEull;  // 0xFFFFFFFF marks a chunked body

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
                         asio::ssl::context* pTls)
    : m_server(server), m_iSlot(iSlot), m_io(server.IoContext(iSlot)) {
  error_code ec;
  tcp::endpoint peer = socket.remote_endpoint(ec);
  m_peer = ec ? "-" : FormatEndpoint(peer);
  if (!ec) {
    m_peerAddress = peer.address().to_string();
    m_nPeerPort = peer.port();
  }
  socket.set_option(tcp::no_delay(true), ec);
  if (pTls)
    m_pTls = std::make_unique<beast::ssl_stream<beast::tcp_stream>>(std::move(socket), *pTls);
  else
    m_pPlain = std::make_unique<beast::tcp_stream>(std::move(socket));
}

CConnection::~CConnection() { m_server.ConnectionGone(); }

beast::tcp_stream& CConnection::Tcp() {
  return m_pTls ? beast::get_lowest_layer(*m_pTls) : *m_pPlain;
}

void CConnection::Start() {
  m_server.Register(m_iSlot, this);
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
  if (m_eState == eIdle || m_eState == eHandshake) Close();
}

void CConnection::ReadHeader(bool fFirst) {
  if (m_server.Stopping()) {
    CloseGracefully();
    return;
  }
  m_eState = eIdle;
  m_parser.emplace();
  m_parser->header_limit(static_cast<std::uint32_t>(m_server.Options().m_cbMaxHeader));
  m_parser->body_limit(kMaxBodyBytes);
  const CHostOptions& opts = m_server.Options();
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

  auto pr = std::make_unique<CHostRequest>();
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

  size_t cbAhead = 0;
  if (m_parser->chunked()) {
    m_cbTotal = 0xFFFFFFFFu;
    cbAhead = m_server.Options().m_cbReadAhead;
  } else if (auto cl = m_parser->content_length(); cl && *cl > 0) {
    m_cbTotal = static_cast<DWORD>(*cl);
    cbAhead = std::min<uint64_t>(*cl, m_server.Options().m_cbReadAhead);
  } else {
    m_cbTotal = 0;
  }
  pr->m_readAhead.resize(cbAhead);
  m_cbAhead = 0;
  m_pRequest = std::move(pr);

  m_eState = eReadAhead;
  if (!m_parser->is_done() && req.version() == 11 &&
      beast::iequals(req[http::field::expect], "100-continue")) {
    static const char s_szContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
    Tcp().expires_after(m_server.Options().m_writeTimeout);
    WithStream([this](auto& stream) {
      asio::async_write(stream, asio::buffer(s_szContinue, sizeof(s_szContinue) - 1),
                        [self = shared_from_this()](error_code ec, size_t) {
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

void CConnection::ReadAhead() {
  size_t cbCap = m_pRequest->m_readAhead.size();
  if (m_parser->is_done() || m_cbAhead >= cbCap) {
    Dispatch();
    return;
  }
  auto& body = m_parser->get().body();
  body.data = m_pRequest->m_readAhead.data() + m_cbAhead;
  body.size = cbCap - m_cbAhead;
  Tcp().expires_after(m_server.Options().m_bodyTimeout);
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
            if (IsParseError(ec))
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
  // Held while the extension restarts; dispatched again on this thread after.
  if (!m_pExtension->Enter([self = shared_from_this()] {
        asio::post(self->m_io, [self] { self->Dispatch(); });
      }))
    return;
  m_eState = eInExtension;
  Tcp().expires_never();
  m_pRequest->FillControlBlock(m_cbTotal, static_cast<DWORD>(m_cbAhead));
  DWORD dwResult = m_pExtension->HttpExtensionProc(&m_pRequest->m_ecb);
  m_pExtension->Leave();
  m_fAdmitted = false;
  m_server.LeaveAdmission();
  if (dwResult == HSE_STATUS_PENDING) return;  // the extension ends the session
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

bool CConnection::ReadBody(CHostRequest& r, void* pv, DWORD& cb) {
  if (OnIoThread()) return false;  // would block the thread that must do the read
  if (cb == 0) return true;
  r.m_call.Reset();
  asio::post(m_io, [self = shared_from_this(), pr = &r, pv, cb] {
    self->ReadBodyOnIo(pr, pv, cb);
  });
  return r.m_call.Wait(cb);
}

void CConnection::ReadBodyOnIo(CHostRequest* pr, void* pv, DWORD cb) {
  if (m_fBroken || m_eState == eClosed) {
    pr->m_call.Complete(false, 0);
    return;
  }
  if (m_parser->is_done()) {
    pr->m_call.Complete(true, 0);
    return;
  }
  auto& body = m_parser->get().body();
  body.data = pv;
  body.size = cb;
  Tcp().expires_after(m_server.Options().m_bodyTimeout);
  WithStream([this, pr, pv, cb](auto& stream) {
    http::async_read_some(
        stream, m_buffer, *m_parser,
        [self = shared_from_this(), pr, pv, cb](error_code ec, size_t) {
          if (ec == http::error::need_buffer) ec = {};
          auto& b = self->m_parser->get().body();
          DWORD cbGot = static_cast<DWORD>(cb - b.size);
          b.data = nullptr;
          b.size = 0;
          self->Tcp().expires_never();
          if (ec) {
            self->m_fBroken = true;
            pr->m_call.Complete(false, 0);
          } else if (cbGot == 0 && !self->m_parser->is_done()) {
            self->ReadBodyOnIo(pr, pv, cb);  // only framing was read so far
          } else {
            pr->m_call.Complete(true, cbGot);
          }
        });
  });
}

bool CConnection::WriteBody(CHostRequest& r, const void* pv, DWORD cb) {
  if (OnIoThread()) return false;  // would block the thread that must do the write
  r.m_framing.OnBody(pv, cb);
  r.m_call.Reset();
  asio::post(m_io, [self = shared_from_this(), pr = &r, pv, cb] {
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
      asio::async_write(stream, rgBuffers, [self, pr, cb](error_code ec, size_t n) {
        self->m_cbSent += n;
        pr->m_pendingHead.clear();
        self->Tcp().expires_never();
        if (ec) self->m_fBroken = true;
        pr->m_call.Complete(!ec, ec ? 0 : cb);
      });
    });
  });
  DWORD cbDone = 0;
  return r.m_call.Wait(cbDone);
}

void CConnection::EndSession(CHostRequest& r) {
  asio::post(m_io, [self = shared_from_this(), nSerial = r.m_nSerial] {
    if (self->m_pRequest && self->m_pRequest->m_nSerial == nSerial &&
        self->m_eState == eInExtension)
      self->FinishRequest();
  });
}

void CConnection::FinishRequest() {
  CHostRequest& r = *m_pRequest;
  m_eState = eFinishing;
  if (!m_fBroken && r.m_pendingHead.empty() && m_cbSent == 0) {
    // The extension ended the session without answering.
    r.m_pendingHead = "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n"
                      "Connection: close\r\n\r\n";
    r.m_nStatus = 500;
    r.m_fKeepConn = false;
  }
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
  bool fKeep = !m_fBroken && r.m_fKeepConn && m_parser->keep_alive() && m_parser->is_done() &&
               r.m_framing.IsComplete();
  LogRequest(r.m_nStatus);
  m_pRequest.reset();
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
  if (m_fAdmitted) {
    m_fAdmitted = false;
    m_server.LeaveAdmission();
  }
  error_code ec;
  Tcp().socket().shutdown(tcp::socket::shutdown_both, ec);
  Tcp().close();
  explicit_bzero(m_rgDrain, sizeof(m_rgDrain));
  m_server.Unregister(m_iSlot, this);
}

void CConnection::LogRequest(int nStatus) {
  auto duration = std::chrono::steady_clock::now() - m_tStart;
  m_server.Metrics().CountRequest(nStatus, duration);
  if (!m_server.Log().IsOpen()) return;
  m_server.Log().Write(m_peer, m_logMethod, m_logPath, nStatus, m_cbSent, duration);
}
