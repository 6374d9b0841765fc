// One client connection: reads requests (header, then up to the read-ahead
// of the body) on its io thread, hands each to its extension and carries the
// extension's reads and writes, posted from the extension's threads, to the
// socket. Plain TCP or TLS.
//
// Everything but the IRequestChannel methods runs on the connection's io
// thread (one thread per io_context, so no strand is needed).
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "server/host_reply.h"
#include "server/host_request.h"
#include "server/request_channel.h"
#include "server/wiping_allocator.h"

class CHttpServer;
class CExtensionModule;

class CConnection final : public IRequestChannel,
                          public std::enable_shared_from_this<CConnection> {
 public:
  CConnection(CHttpServer& server, size_t iSlot, boost::asio::ip::tcp::socket socket,
              boost::asio::ssl::context* pTls);
  ~CConnection();

  void Start();
  // Closes the connection when it is waiting for a request (server stop).
  void CloseIfIdle();

  bool ReadBody(CHostRequest& request, void* pv, DWORD& cb) override;
  bool WriteBody(CHostRequest& request, const void* pv, DWORD cb) override;
  void EndSession(CHostRequest& request) override;

 private:
  enum EState { eHandshake, eIdle, eReadAhead, eInExtension, eFinishing, eClosing, eClosed };
  using CParser = boost::beast::http::request_parser<boost::beast::http::buffer_body>;

  template <class F>
  void WithStream(F&& f) {
    if (m_pTls)
      f(*m_pTls);
    else
      f(*m_pPlain);
  }
  boost::beast::tcp_stream& Tcp();

  void ReadHeader(bool fFirst);
  void OnHeader(boost::beast::error_code ec);
  void StartRequest();
  void ReadAhead();
  void Dispatch();
  void ReadBodyOnIo(CHostRequest* pr, void* pv, DWORD cb);
  void FinishRequest();
  void CompleteRequest();
  void AfterResponse(bool fKeep);
  void Reply(const char* pszStatus, bool fKeep);
  void ReplyWith(const CHostReply& reply, bool fKeep);
  void CloseGracefully();
  void Drain();
  void Close();
  void LogRequest(int nStatus);

  CHttpServer& m_server;
  size_t m_iSlot;
  boost::asio::io_context& m_io;
  std::unique_ptr<boost::beast::tcp_stream> m_pPlain;
  std::unique_ptr<boost::beast::ssl_stream<boost::beast::tcp_stream>> m_pTls;
  // Received bytes, request bodies among them: wiped when freed.
  boost::beast::basic_flat_buffer<CWipingAllocator<char>> m_buffer;
  std::optional<CParser> m_parser;
  std::unique_ptr<CHostRequest> m_pRequest;
  const CExtensionModule* m_pExtension = nullptr;
  EState m_eState = eHandshake;
  bool m_fBroken = false;     // a read or write failed: no further use
  bool m_fAdmitted = false;   // counted by the server until dispatched
  size_t m_cbAhead = 0;
  DWORD m_cbTotal = 0;
  uint64_t m_nSerial = 0;
  size_t m_cbDrained = 0;
  uint64_t m_cbSent = 0;
  std::string m_peer;         // "ADDR:PORT" for the log
  std::string m_peerAddress;  // REMOTE_ADDR
  unsigned short m_nPeerPort = 0;
  std::string m_logMethod;
  std::string m_logPath;
  std::chrono::steady_clock::time_point m_tStart;
  std::string m_reply;        // the host's own replies
  char m_rgDrain[4096];  // bytes dropped at close; wiped in Close
};
