#include "server/http_server.h"

#include <openssl/ssl.h>
#include <sys/stat.h>

#include <algorithm>
#include <boost/asio/post.hpp>
#include <chrono>
#include <cstdio>

#include "server/connection.h"
#include "server/response_framing.h"

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

thread_local bool t_fIoThread = false;

template <class Pred>
bool WaitUntil(Pred pred, std::chrono::steady_clock::time_point deadline) {
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace

bool OnIoThread() { return t_fIoThread; }

CHttpServer::CHttpServer(const CHostOptions& opts,
                         const std::vector<std::unique_ptr<CExtensionModule>>& exts,
                         CAccessLog& log)
    : m_opts(opts), m_rgExtensions(exts), m_log(log) {
  for (int i = 0; i < opts.m_nIoThreads; ++i) m_rgSlots.push_back(std::make_unique<CSlot>());
}

CHttpServer::~CHttpServer() {
  for (auto& slot : m_rgSlots) {
    slot->m_work.reset();
    slot->m_io.stop();
    if (slot->m_thread.joinable()) slot->m_thread.join();
  }
}

bool CHttpServer::Listen(std::string& err) {
  std::string addrText;
  unsigned short port = 0;
  if (!SplitListenAddress(m_opts.m_listen, addrText, port)) {
    err = "invalid listen address: " + m_opts.m_listen;
    return false;
  }
  boost::system::error_code ec;
  if (addrText == "localhost") addrText = "127.0.0.1";
  asio::ip::address addr = asio::ip::make_address(addrText, ec);
  if (ec) {
    err = "invalid listen address: " + m_opts.m_listen + " (give an IP address)";
    return false;
  }
  bool fTls = !m_opts.m_tlsCert.empty();
  if (!fTls && !m_opts.m_fAllowPlainHttp && !addr.is_loopback()) {
    err = "refusing to serve plain HTTP on " + m_opts.m_listen +
          ", which is not a loopback address: request bodies carry passwords. Give "
          "--tls-cert and --tls-key, or --allow-plain-http if a TLS proxy stands in front";
    return false;
  }
  if (fTls) {
    // The key's file must be the service's own, like the directory's secrets.
    struct stat st;
    if (stat(m_opts.m_tlsKey.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
      char szMode[8];
      std::snprintf(szMode, sizeof(szMode), "%04o", static_cast<unsigned>(st.st_mode & 07777));
      err = "TLS key " + m_opts.m_tlsKey + " has mode " + szMode +
            ": it must not be readable by group or others (chmod 600)";
      return false;
    }
    m_pTls = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
    m_pTls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                        asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                        asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use);
    // TLS 1.2 with forward secrecy and authenticated encryption only (no
    // static RSA key exchange, no CBC); TLS 1.3 with its own suites.
    SSL_CTX_set_min_proto_version(m_pTls->native_handle(), TLS1_2_VERSION);
    SSL_CTX_set_cipher_list(m_pTls->native_handle(),
                            "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                            "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                            "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305");
    m_pTls->use_certificate_chain_file(m_opts.m_tlsCert, ec);
    if (ec) {
      err = "cannot use TLS certificate " + m_opts.m_tlsCert + ": " + ec.message();
      return false;
    }
    m_pTls->use_private_key_file(m_opts.m_tlsKey, asio::ssl::context::pem, ec);
    if (ec) {
      err = "cannot use TLS key " + m_opts.m_tlsKey + ": " + ec.message();
      return false;
    }
  }
  tcp::endpoint endpoint(addr, port);
  m_pAcceptor = std::make_unique<tcp::acceptor>(m_rgSlots[0]->m_io);
  m_pAcceptor->open(endpoint.protocol(), ec);
  if (!ec) m_pAcceptor->set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) m_pAcceptor->bind(endpoint, ec);
  if (!ec) m_pAcceptor->listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    err = "cannot listen on " + m_opts.m_listen + ": " + ec.message();
    return false;
  }
  m_fMetricsHere = addr.is_loopback() && m_opts.m_metricsListen.empty();
  m_bound = m_pAcceptor->local_endpoint(ec);
  m_nPort = m_bound.port();
  m_pRetryTimer = std::make_unique<asio::steady_timer>(m_rgSlots[0]->m_io);
  return true;
}

std::string CHttpServer::BoundAddress() const {
  std::string addr = m_bound.address().to_string();
  if (m_bound.address().is_v6()) addr = "[" + addr + "]";
  return addr + ":" + std::to_string(m_bound.port());
}

void CHttpServer::Run() {
  for (auto& slot : m_rgSlots) {
    slot->m_work.emplace(slot->m_io.get_executor());
    CSlot* ps = slot.get();
    slot->m_thread = std::thread([ps] {
      t_fIoThread = true;
      ps->m_io.run();
    });
  }
  asio::post(m_rgSlots[0]->m_io, [this] { Accept(); });
}

void CHttpServer::Accept() {
  size_t iSlot = m_iNextSlot;
  m_iNextSlot = (m_iNextSlot + 1) % m_rgSlots.size();
  // The peer's address comes with the accept (no getpeername per connection).
  m_pAcceptor->async_accept(
      m_rgSlots[iSlot]->m_io, m_acceptedPeer,
      [this, iSlot](boost::system::error_code ec, tcp::socket socket) {
        if (m_fStopping.load() || ec == asio::error::operation_aborted) return;
        if (ec) {
          // Out of descriptors or a similar passing failure: try again shortly.
          m_pRetryTimer->expires_after(std::chrono::milliseconds(50));
          m_pRetryTimer->async_wait([this](boost::system::error_code ecWait) {
            if (!ecWait && !m_fStopping.load()) Accept();
          });
          return;
        }
        // Connections that wait for a whole request may take three quarters
        // of the connections at most: the last quarter is kept for clients
        // that send theirs. Over that share, or over the limit, the
        // connection that has waited longest makes room for the new one, so
        // that slow clients compete among themselves; a newcomer that sends
        // its request at once is not waiting by the next one.
        const size_t nMax = m_opts.m_nMaxConnections;
        const size_t nMaxPerAddress = m_opts.m_nMaxPerAddress != 0
                                          ? m_opts.m_nMaxPerAddress
                                          : std::max<size_t>(1, nMax / 2);
        const size_t nOpen = static_cast<size_t>(m_nConnections.load());
        const size_t nWaiting = static_cast<size_t>(std::max<long>(0, m_nWaiting.load()));
        const CAddressKey key = CClientAddresses::KeyOf(m_acceptedPeer.address());
        bool fTake = m_addresses.Take(key, nMaxPerAddress);
        if (fTake && (nWaiting >= nMax - nMax / 4 || nOpen >= nMax) && !EvictLongestWaiting() &&
            nOpen >= nMax) {
          m_addresses.Release(key);
          fTake = false;
        }
        if (!fTake) {
          boost::system::error_code ecClose;
          socket.close(ecClose);  // over a limit: accepted and closed at once
        } else {
          m_nConnections.fetch_add(1);
          auto pc = std::make_shared<CConnection>(*this, iSlot, std::move(socket), m_acceptedPeer,
                                                  m_pTls.get());
          asio::post(m_rgSlots[iSlot]->m_io, [pc] { pc->Start(); });
        }
        Accept();
      });
}

// On the accepting thread only; a connection marked for its close is passed
// over until that close has run.
bool CHttpServer::EvictLongestWaiting() {
  std::shared_ptr<CConnection> pOldest;
  size_t iOldest = 0;
  int64_t nOldest = 0;
  for (size_t i = 0; i < m_rgSlots.size(); ++i) {
    CMutexLock guard(&m_rgSlots[i]->m_lock);
    for (CConnection* pc : m_rgSlots[i]->m_connections) {
      int64_t nSince = pc->WaitingSince();
      if (nSince == 0 || (pOldest && nSince >= nOldest) || pc->Evicted()) continue;
      // One being destroyed gives no reference.
      if (auto p = pc->weak_from_this().lock()) {
        pOldest = std::move(p);
        iOldest = i;
        nOldest = nSince;
      }
    }
  }
  if (!pOldest) return false;
  pOldest->MarkEvicted();
  asio::post(m_rgSlots[iOldest]->m_io, [pc = std::move(pOldest)] { pc->CloseIfWaiting(); });
  return true;
}

const CExtensionModule* CHttpServer::FindExtension(std::string_view path,
                                                   std::string_view& pathInfo) const {
  for (const auto& pe : m_rgExtensions) {
    std::string_view url = pe->UrlPath();
    if (path.size() < url.size() || !EqualsNoCase(path.substr(0, url.size()), url)) continue;
    if (path.size() == url.size() || path[url.size()] == '/') {
      pathInfo = path.substr(url.size());
      return pe.get();
    }
  }
  return nullptr;
}

void CHttpServer::Register(size_t iSlot, CConnection* pc) {
  CMutexLock guard(&m_rgSlots[iSlot]->m_lock);
  m_rgSlots[iSlot]->m_connections.insert(pc);
}

void CHttpServer::Unregister(size_t iSlot, CConnection* pc) {
  CMutexLock guard(&m_rgSlots[iSlot]->m_lock);
  m_rgSlots[iSlot]->m_connections.erase(pc);
}

bool CHttpServer::Admit() {
  m_nAdmitted.fetch_add(1);
  if (m_fStopping.load()) {
    m_nAdmitted.fetch_sub(1);
    return false;
  }
  return true;
}

void CHttpServer::StopAccepting() {
  m_fStopping.store(true);
  asio::post(m_rgSlots[0]->m_io, [this] {
    boost::system::error_code ec;
    if (m_pAcceptor) m_pAcceptor->close(ec);
    if (m_pRetryTimer) m_pRetryTimer->cancel();
  });
  for (auto& slot : m_rgSlots) {
    CSlot* ps = slot.get();
    asio::post(ps->m_io, [ps] {
      // Held while they are looked at: an extension's thread may close and
      // release one meanwhile (one being destroyed gives no reference).
      std::vector<std::shared_ptr<CConnection>> rgOpen;
      {
        CMutexLock guard(&ps->m_lock);
        for (CConnection* pc : ps->m_connections)
          if (auto p = pc->weak_from_this().lock()) rgOpen.push_back(std::move(p));
      }
      for (auto& pc : rgOpen) pc->CloseIfIdle();
    });
  }
  // A request still being read gets its whole body allowance to reach its
  // extension.
  auto deadline = std::chrono::steady_clock::now() + m_opts.m_bodyTimeout +
                  std::chrono::milliseconds(m_opts.m_cbReadAhead * 1000 / m_opts.m_cbBodyMinRate) +
                  m_opts.m_writeTimeout;
  WaitUntil([this] { return m_nAdmitted.load() == 0; }, deadline);
}

bool CHttpServer::Shutdown() {
  auto deadline = std::chrono::steady_clock::now() + m_opts.m_shutdownTimeout;
  bool fDone = WaitUntil([this] { return m_nConnections.load() == 0; }, deadline);
  for (auto& slot : m_rgSlots) {
    slot->m_work.reset();
    slot->m_io.stop();
  }
  for (auto& slot : m_rgSlots)
    if (slot->m_thread.joinable()) slot->m_thread.join();
  return fDone;
}

bool CHttpServer::ServeBuiltIn(std::string_view method, std::string_view path, bool fTls,
                               CHostReply& reply) const {
  if (m_pages.Serve(method, path, fTls, reply)) return true;
  if (!m_fMetricsHere || path != "/metrics") return false;
  ServeMetrics(method, MetricsText(), reply);
  return true;
}

std::string CHttpServer::MetricsText() const {
  std::vector<const CExtensionModule*> rgExtensions;
  for (const auto& pe : m_rgExtensions) rgExtensions.push_back(pe.get());
  return m_metrics.Render(m_nConnections.load(), rgExtensions);
}
