// An in-process stand-in for the web server: builds control blocks whose
// callbacks record what the extension does with each request.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/isapi/isapi.h"
#include "test_registry.h"

namespace vlttest {

struct FakeRequestOptions {
  std::string method = "POST";
  std::string contentType = "text/xml";
  std::string body;
  // Bytes of the body handed over with the control block; the rest is read
  // through ReadClient. -1: the whole body.
  long cbAvailable = -1;
  // Declared length; -1: the body's size.
  long long cbTotal = -1;
  // Largest count a ReadClient call places (0: as much as offered).
  DWORD cbReadLimit = 0;
  // ReadClient (WriteClient) waits until Release() before answering.
  bool fBlockReads = false;
  bool fBlockWrites = false;
  // After this many bytes, ReadClient reports the client gone: FALSE, or
  // TRUE with 0 bytes when fCloseWithZero is set.
  long cbFailAfter = -1;
  bool fCloseWithZero = false;
};

// What the extension did with one request.
class FakeConnection {
 public:
  explicit FakeConnection(const FakeRequestOptions& options);

  EXTENSION_CONTROL_BLOCK* Ecb() { return &m_ecb; }

  // Lets blocked ReadClient calls go on.
  void Release();
  // Waits (at most a few seconds) until the session was ended.
  bool WaitDone(int timeoutMs = 5000);
  bool Done();
  bool ReadStarted();
  bool WaitReadStarted(int timeoutMs = 5000);
  bool WaitWriteStarted(int timeoutMs = 5000);

  std::string Status();
  bool HeaderSent();
  std::string Header();
  bool KeepConn();
  std::string Written();
  int DoneCount();
  int ReadCalls();
  // WriteClient calls and the flags of each.
  std::vector<DWORD> WriteFlags();

 private:
  bool WaitFor(const std::function<bool()>& fReached, int timeoutMs);
  static BOOL WINAPI ReadClient(HCONN conn, LPVOID buffer, LPDWORD size);
  static BOOL WINAPI WriteClient(HCONN conn, LPVOID buffer, LPDWORD size, DWORD flags);
  static BOOL WINAPI ServerSupportFunction(HCONN conn, DWORD request, LPVOID buffer, LPDWORD size,
                                           LPDWORD dataType);

  FakeRequestOptions m_options;
  std::string m_method;
  std::string m_contentType;
  EXTENSION_CONTROL_BLOCK m_ecb{};
  std::mutex m_lock;
  std::condition_variable m_cv;
  size_t m_cbServed = 0;  // body bytes handed out so far
  bool m_fReleased = false;
  bool m_fReadStarted = false;
  bool m_fWriteStarted = false;
  std::string m_status;
  std::string m_header;
  bool m_fHeaderSent = false;
  bool m_fKeepConn = false;
  std::string m_written;
  int m_nDone = 0;
  int m_nReadCalls = 0;
  std::vector<DWORD> m_rgWriteFlags;
};

// Owns the connections of a test.
class FakeIsapiHost {
 public:
  FakeConnection& NewRequest(const FakeRequestOptions& options);
  // Submits through HttpExtensionProc; returns its result.
  DWORD Submit(FakeConnection& conn);
  void ReleaseAll();

 private:
  std::deque<std::unique_ptr<FakeConnection>> m_connections;
};

}  // namespace vlttest
