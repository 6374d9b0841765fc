#include "server/metrics_listener.h"

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <chrono>

#include "server/host_metrics.h"
#include "server/host_options.h"
#include "server/host_reply.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using asio::ip::tcp;

namespace {

constexpr int kMaxOpen = 16;
constexpr auto kTimeout = std::chrono::seconds(10);

class CMetricsExchange : public std::enable_shared_from_this<CMetricsExchange> {
 public:
  CMetricsExchange(tcp::socket socket, const std::function<std::string()>& text,
                   std::atomic<int>& nOpen)
      : m_stream(std::move(socket)), m_text(text), m_nOpen(nOpen) {}
  ~CMetricsExchange() { m_nOpen.fetch_sub(1); }

  void Start() {
    m_parser.header_limit(8192);
    m_parser.body_limit(65536);  // read and dropped: only GET and HEAD are served
    m_stream.expires_after(kTimeout);
    http::async_read(m_stream, m_buffer, m_parser,
                     [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRequest(ec); });
  }

 private:
  void OnRequest(beast::error_code ec) {
    if (ec == http::error::end_of_stream || ec == asio::error::operation_aborted ||
        ec == beast::error::timeout)
      return;
    CHostReply reply;
    if (ec) {
      reply.m_nStatus = 400;
      reply.m_head = "HTTP/1.1 400 Bad Request\r\n";
    } else {
      const auto& req = m_parser.get();
      std::string_view target(req.target().data(), req.target().size());
      std::string_view method(req.method_string().data(), req.method_string().size());
      if (target.substr(0, target.find('?')) == "/metrics") {
        ServeMetrics(method, m_text(), reply);
      } else {
        reply.m_nStatus = 404;
        reply.m_head = "HTTP/1.1 404 Not Found\r\n";
      }
    }
    m_wire = reply.Wire(false);
    asio::async_write(m_stream, asio::buffer(m_wire),
                      [self = shared_from_this()](beast::error_code, size_t) {
                        beast::error_code ecClose;
                        self->m_stream.socket().shutdown(tcp::socket::shutdown_both, ecClose);
                      });
  }

  beast::tcp_stream m_stream;
  beast::flat_buffer m_buffer;
  http::request_parser<http::string_body> m_parser;
  const std::function<std::string()>& m_text;
  std::atomic<int>& m_nOpen;
  std::string m_wire;
};

}  // namespace

CMetricsListener::CMetricsListener(std::function<std::string()> text) : m_text(std::move(text)) {}

CMetricsListener::~CMetricsListener() { Stop(); }

bool CMetricsListener::Listen(const std::string& address, std::string& err) {
  std::string addrText;
  unsigned short port = 0;
  if (!SplitListenAddress(address, addrText, port)) {
    err = "invalid metrics address: " + address;
    return false;
  }
  if (addrText == "localhost") addrText = "127.0.0.1";
  boost::system::error_code ec;
  asio::ip::address addr = asio::ip::make_address(addrText, ec);
  if (ec) {
    err = "invalid metrics address: " + address + " (give an IP address)";
    return false;
  }
  tcp::endpoint endpoint(addr, port);
  m_pAcceptor = std::make_unique<tcp::acceptor>(m_io);
  m_pAcceptor->open(endpoint.protocol(), ec);
  if (!ec) m_pAcceptor->set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) m_pAcceptor->bind(endpoint, ec);
  if (!ec) m_pAcceptor->listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    err = "cannot listen for metrics on " + address + ": " + ec.message();
    return false;
  }
  m_bound = m_pAcceptor->local_endpoint(ec);
  m_pRetryTimer = std::make_unique<asio::steady_timer>(m_io);
  return true;
}

std::string CMetricsListener::BoundAddress() const {
  std::string addr = m_bound.address().to_string();
  if (m_bound.address().is_v6()) addr = "[" + addr + "]";
  return addr + ":" + std::to_string(m_bound.port());
}

void CMetricsListener::Run() {
  asio::post(m_io, [this] { Accept(); });
  m_thread = std::thread([this] { m_io.run(); });
}

void CMetricsListener::Stop() {
  if (!m_thread.joinable()) return;
  m_io.stop();
  m_thread.join();
}

void CMetricsListener::Accept() {
  m_pAcceptor->async_accept([this](boost::system::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    if (ec) {
      // Out of descriptors or a similar passing failure: try again shortly.
      m_pRetryTimer->expires_after(std::chrono::milliseconds(50));
      m_pRetryTimer->async_wait([this](boost::system::error_code ecWait) {
        if (!ecWait) Accept();
      });
      return;
    }
    {
      if (m_nOpen.fetch_add(1) >= kMaxOpen) {
        m_nOpen.fetch_sub(1);
        boost::system::error_code ecClose;
        socket.close(ecClose);
      } else {
        std::make_shared<CMetricsExchange>(std::move(socket), m_text, m_nOpen)->Start();
      }
    }
    Accept();
  });
}
