// The listening side of vltadmin-host: the io threads (one io_context each),
// the acceptor, the TLS context, the extensions by URL path, and the
// bookkeeping an orderly stop needs.
#pragma once

#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "server/access_log.h"
#include "server/client_addresses.h"
#include "server/extension_module.h"
#include "server/host_metrics.h"
#include "server/host_mutex.h"
#include "server/host_options.h"
#include "server/host_reply.h"
#include "server/page_files.h"

class CConnection;

// True on the threads that run the io_contexts: they must never block.
bool OnIoThread();

class CHttpServer {
 public:
  CHttpServer(const CHostOptions& opts, const std::vector<std::unique_ptr<CExtensionModule>>& exts,
              CAccessLog& log);
  ~CHttpServer();
  CHttpServer(const CHttpServer&) = delete;
  CHttpServer& operator=(const CHttpServer&) = delete;

  // Binds and listens; loads the TLS certificate. Refuses plain HTTP on an
  // address other than loopback unless allowed. Returns false with |err|.
  bool Listen(std::string& err);
  // The bound address, "127.0.0.1:8080" or "[::1]:8080".
  std::string BoundAddress() const;
  // Starts the io threads and accepting.
  void Run();

  // Stop, first half: no more connections or requests are taken; idle
  // connections close; returns when every request that was being read has
  // been handed to its extension (or dropped).
  void StopAccepting();
  // Stop, second half (after the extensions have terminated): waits until
  // every connection has ended, then stops the io threads. False when the
  // wait ran out of time.
  bool Shutdown();

  // For connections.
  const CHostOptions& Options() const { return m_opts; }
  boost::asio::io_context& IoContext(size_t iSlot) { return m_rgSlots[iSlot]->m_io; }
  const CExtensionModule* FindExtension(std::string_view path, std::string_view& pathInfo) const;
  CAccessLog& Log() { return m_log; }
  bool Stopping() const { return m_fStopping.load(); }
  // Counts a request from its header until its extension has it; false when
  // the server is stopping.
  bool Admit();
  void LeaveAdmission() { m_nAdmitted.fetch_sub(1); }
  // From any thread (a connection may close on an extension's thread).
  void Register(size_t iSlot, CConnection* pc);
  void Unregister(size_t iSlot, CConnection* pc);
  void ConnectionGone(const CAddressKey& key) {
    m_addresses.Release(key);
    m_nConnections.fetch_sub(1);
  }
  // Connections waiting for a whole request (header or body).
  void BeginWaiting() { m_nWaiting.fetch_add(1); }
  void EndWaiting() { m_nWaiting.fetch_sub(1); }
  unsigned short LocalPort() const { return m_nPort; }

  // What the host answers itself, before any extension: the page files
  // under /vltadmin, and /metrics when this listener is on a loopback
  // address and no separate metrics address is configured.
  bool ServeBuiltIn(std::string_view method, std::string_view path, bool fTls,
                    CHostReply& reply) const;
  CHostMetrics& Metrics() { return m_metrics; }
  CPageFiles& Pages() { return m_pages; }
  // The statistics as served at /metrics.
  std::string MetricsText() const;

 private:
  struct CSlot {
    boost::asio::io_context m_io{1};
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> m_work;
    CMutex m_lock;
    std::unordered_set<CConnection*> m_connections GUARDED_BY(m_lock);
    std::thread m_thread;
  };

  void Accept();
  // Closes the connection that has waited longest for a whole request;
  // false when none waits.
  bool EvictLongestWaiting();

  const CHostOptions& m_opts;
  const std::vector<std::unique_ptr<CExtensionModule>>& m_rgExtensions;
  CAccessLog& m_log;
  std::vector<std::unique_ptr<CSlot>> m_rgSlots;
  std::unique_ptr<boost::asio::ssl::context> m_pTls;
  std::unique_ptr<boost::asio::ip::tcp::acceptor> m_pAcceptor;
  std::unique_ptr<boost::asio::steady_timer> m_pRetryTimer;
  boost::asio::ip::tcp::endpoint m_bound;
  boost::asio::ip::tcp::endpoint m_acceptedPeer;  // filled by the accept in progress
  unsigned short m_nPort = 0;
  size_t m_iNextSlot = 0;
  std::atomic<bool> m_fStopping{false};
  std::atomic<long> m_nAdmitted{0};
  std::atomic<long> m_nConnections{0};
  std::atomic<long> m_nWaiting{0};
  CClientAddresses m_addresses;
  CHostMetrics m_metrics;
  CPageFiles m_pages;
  bool m_fMetricsHere = false;
};
