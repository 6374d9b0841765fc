// A listener of its own for the statistics (--metrics-listen): one thread,
// GET or HEAD /metrics, one request per connection. Nothing else is served
// there, and the statistics are not served on the main listener then.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class CMetricsListener {
 public:
  explicit CMetricsListener(std::function<std::string()> text);
  ~CMetricsListener();
  CMetricsListener(const CMetricsListener&) = delete;
  CMetricsListener& operator=(const CMetricsListener&) = delete;

  // Binds |address| ("ADDR:PORT"). False with |err|.
  bool Listen(const std::string& address, std::string& err);
  std::string BoundAddress() const;
  void Run();
  void Stop();

 private:
  void Accept();

  // Exchanges refer to the text source and the count: both outlive m_io.
  std::function<std::string()> m_text;
  std::atomic<int> m_nOpen{0};
  boost::asio::io_context m_io{1};
  std::unique_ptr<boost::asio::ip::tcp::acceptor> m_pAcceptor;
  std::unique_ptr<boost::asio::steady_timer> m_pRetryTimer;
  boost::asio::ip::tcp::endpoint m_bound;
  std::thread m_thread;
};
