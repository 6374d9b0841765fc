// One client connection: reads requests (header, then the whole body) on
// its io thread, hands each to its extension and carries the
// extension's reads and writes to the socket. Plain TCP or TLS.
//
// The connection has one owner at a time. Its io thread owns it while it
// reads a request; from the call of HttpExtensionProc until the end of the
// session the extension's thread owns it (no socket operation is pending
// then). On a plain connection that thread writes to the socket itself
// (without waiting: a write the socket cannot take at once is finished by
// the io thread, which wakes the writer) and, at the end of the session,
// starts the read of the next request, which hands the connection back, or
// closes it when no lingering is needed. TLS writes and
// lingering closes go through the io thread (posted; one thread per
// io_context, so no strand is needed). m_handoff orders the extension
// thread's last steps against CloseIfIdle at a stop.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "server/client_addresses.h"
#include "server/host_mutex.h"
#include "server/host_reply.h"
#include "server/host_request.h"
#include "server/request_channel.h"
#include "server/wiping_allocator.h"

class CHttpServer;
class CExtensionModule;

using CConnectionRequest =
    boost::beast::http::request<boost::beast::http::buffer_body>;

class CConnection final : public IRequestChannel,
                          public std::enable_shared_from_this<CConnection> {
 public:
  CConnection(CHttpServer& server, size_t iSlot, boost::asio::ip::tcp::socket socket,
              const boost::asio::ip::tcp::endpoint& peer, boost::asio::ssl::context* pTls);
  ~CConnection();

  void Start();
  // Closes the connection when it is waiting for a request (server stop).
  void CloseIfIdle();
  // Closes the connection when it still waits for a whole request: its
  // header or its body (to make room for another client). On its io thread.
  void CloseIfWaiting();
  // Since when it waits for a whole request (steady clock ticks), 0 when it
  // does not; any thread.
  int64_t WaitingSince() const { return m_nWaitingSince.load(); }
  // Marked when a close to make room is on its way to its io thread.
  void MarkEvicted() { m_fEvicted.store(true); }
  bool Evicted() const { return m_fEvicted.load(); }
  const CAddressKey& AddressKey() const { return m_addressKey; }

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

  void SetWaiting(bool fWaiting);
  void WipeConsumed();
  void ReadHeader(bool fFirst);
  void StartReadHeader(bool fFirst);
  void OnHeader(boost::beast::error_code ec);
  void StartRequest();
  void ReadAhead();
  void Dispatch();
  void FinishRequest();
  void FinishOnExtensionThread(CHostRequest& r);
  void AnswerIfSilent(CHostRequest& r);
  bool KeepAfter(const CHostRequest& r) const;
  size_t SendNow(std::string_view head, const void* pv, size_t cb, boost::beast::error_code& ec);
  bool PostWrite(CHostRequest& r, const void* pv, DWORD cb, DWORD cbReport);
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
  std::unique_ptr<CHostRequest> m_pSpare;  // the last request's object, recycled
  const CExtensionModule* m_pExtension = nullptr;
  CMutex m_handoff;
  // Set while the extension holds a pending request (until its session ends).
  std::atomic<bool> m_fWithExtension{false};
  EState m_eState = eHandshake;
  bool m_fBroken = false;     // a read or write failed: no further use
  bool m_fAdmitted = false;   // counted by the server until dispatched
  size_t m_cbAhead = 0;
  std::chrono::steady_clock::time_point m_tBodyStart;
  std::atomic<int64_t> m_nWaitingSince{0};
  std::atomic<bool> m_fEvicted{false};
  CAddressKey m_addressKey;
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
