// CTraceCollector: the collector side of the trace device. It listens on
// the device's Unix socket, registers the modules that open the device,
// keeps each module's state block current and hands every record it
// receives to a sink, one at a time, in the order each writer sent them.
//
// A second collector started on a socket that is already served attaches to
// the running one as a viewer: the running collector enables the viewer's
// classes and level for the viewer's modules as well as its own (the state
// of a module is the union of all) and forwards the records of those
// modules to it; when the viewer leaves, its classes are disabled again.
// When a collector stops it reads what its writers have already sent, then
// sets every state block's logger handle to 0, so that the modules fall
// silent without any call to the device.
//
// Threads: Start and Run on one thread; Stop from any thread or a signal
// handler.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "collector_options.h"
#include "trace_record.h"

struct TRACE_STATE_BLOCK;

namespace vltqtr {

class CTraceCollector {
 public:
  using CRecordSink = std::function<void(const CTraceRecord&)>;

  CTraceCollector(CCollectorOptions options, CRecordSink sink);
  ~CTraceCollector();
  CTraceCollector(const CTraceCollector&) = delete;
  CTraceCollector& operator=(const CTraceCollector&) = delete;

  // Serves the socket, or attaches as a viewer when a collector serves it
  // already. False with a message when neither is possible.
  bool Start(std::string* psError);
  bool IsViewer() const { return m_fdUpstream >= 0; }
  const std::string& SocketPath() const { return m_sSocketPath; }

  // Serves until Stop (or, for a viewer, until the collector it attached to
  // goes away).
  void Run();
  // Makes Run return; async-signal-safe.
  void Stop();
  // Called on the Run thread whenever it is about to wait (e.g. to flush
  // buffered output).
  // Open requests received so far (any thread).
  int OpenCount() const { return m_cOpens.load(std::memory_order_relaxed); }
  void SetIdleCallback(std::function<void()> idle) { m_idle = std::move(idle); }

 private:
  struct CSubscription {
    std::vector<std::string> rgsModules;  // empty: every module
    uint8_t bClassFlags = 0;
    uint8_t nLevel = 0;
    bool Covers(const std::string& sModule) const;
  };
  struct CConnection {
    int fd = -1;
    int32_t nPid = 0;
    uint32_t nUid = 0;
    bool fViewer = false;
    CSubscription subscription;
  };
  struct CRegistration {
    uint64_t nHandle = 0;
    int fdConnection = -1;
    int32_t nPid = 0;
    std::string sModule;
    TRACE_STATE_BLOCK* pState = nullptr;
  };

  bool StartServer(std::string* psError);
  bool StartViewer(std::string* psError);
  void RunServer();
  void RunViewer();
  void Accept();
  // Reads what the connection has queued; false when it has closed.
  bool ReadConnection(CConnection& connection, bool fDrain);
  void HandleMessage(CConnection& connection, const uint8_t* pb, size_t cb);
  void HandleOpen(CConnection& connection, const uint8_t* pb, size_t cb);
  void HandleRecord(CConnection& connection, const uint8_t* pb, size_t cb);
  void HandleView(CConnection& connection, const uint8_t* pb, size_t cb);
  void HandleForward(const uint8_t* pb, size_t cb);
  void CloseConnection(int fd);
  void UpdateState(CRegistration& registration);
  void UpdateAllStates();
  void DisableAll();

  CCollectorOptions m_options;
  CRecordSink m_sink;
  std::function<void()> m_idle;
  std::string m_sSocketPath;
  CSubscription m_own;
  int m_fdListen = -1;
  int m_fdUpstream = -1;
  int m_rgfdStop[2] = {-1, -1};
  uint64_t m_nNextHandle = 1;
  std::atomic<int> m_cOpens{0};
  std::map<int, CConnection> m_connections;
  std::map<uint64_t, CRegistration> m_registrations;
  std::vector<uint8_t> m_rgbBuffer;
};

}  // namespace vltqtr
