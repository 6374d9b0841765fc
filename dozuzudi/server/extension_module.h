// One ISAPI extension library loaded with dlopen: its three exports and the
// URL path it serves.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/isapi/isapi.h"
#include "server/host_mutex.h"

// The optional export through which an extension hands the host its
// statistics as Prometheus text; the host serves them without reading them.
// Like GetServerVariable: *pcbText is the capacity in, the bytes needed
// (with a NUL) out; FALSE when the text did not fit.
typedef BOOL(WINAPI* PFN_GETEXTENSIONMETRICS)(LPSTR pszText, LPDWORD pcbText);

class CExtensionModule {
 public:
  CExtensionModule(std::string urlPath, std::string library);
  ~CExtensionModule();
  CExtensionModule(const CExtensionModule&) = delete;
  CExtensionModule& operator=(const CExtensionModule&) = delete;

  // Loads the library, resolves the exports and calls GetExtensionVersion.
  // Returns false with a message in |err| when any step fails.
  bool Load(std::string& err);

  // Calls TerminateExtension once (if the extension started). Returns only
  // when the extension has answered every request it took.
  void Terminate();

  DWORD HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) const { return m_pfnProc(pECB); }

  // Around each HttpExtensionProc call. While requests are held, Enter
  // keeps |resume| and returns false; |resume| runs (on the thread that
  // releases them) once the extension serves again.
  bool Enter(std::function<void()> resume) const EXCLUDES(m_gateLock);
  void Leave() const EXCLUDES(m_gateLock);

  // A restart, so that the extension reads its start-up settings again:
  // Hold new requests, wait until the calls under way have returned
  // (HttpExtensionProc only queues, so that is quick), Restart the library
  // (TerminateExtension, which answers every request taken, then
  // GetExtensionVersion), Release the held requests. Every module of one
  // library is held while that library restarts. Restart is false with
  // |err| when the extension refused to start again; its requests then fail.
  void Hold() EXCLUDES(m_gateLock);
  void WaitIdle() const EXCLUDES(m_gateLock);
  bool Restart(std::string& err);
  void Release() EXCLUDES(m_gateLock);
  // The loaded library, shared by the modules that serve it.
  const void* Handle() const { return m_hModule; }

  // Appends the extension's statistics, when it offers them.
  void AppendMetrics(std::string& text) const;
  // Identifies the statistics' source, so that a library serving several
  // URLs is asked once.
  const void* MetricsSource() const { return reinterpret_cast<const void*>(m_pfnMetrics); }

  const std::string& UrlPath() const { return m_urlPath; }
  const std::string& Library() const { return m_library; }
  const std::string& Description() const { return m_description; }

 private:
  std::string m_urlPath;
  std::string m_library;
  std::string m_description;
  void* m_hModule = nullptr;
  bool m_fStarted = false;
  PFN_GETEXTENSIONVERSION m_pfnVersion = nullptr;
  PFN_HTTPEXTENSIONPROC m_pfnProc = nullptr;
  PFN_TERMINATEEXTENSION m_pfnTerminate = nullptr;
  PFN_GETEXTENSIONMETRICS m_pfnMetrics = nullptr;
  mutable CMutex m_gateLock;
  mutable bool m_fRestarting GUARDED_BY(m_gateLock) = false;
  mutable int m_nInside GUARDED_BY(m_gateLock) = 0;
  mutable std::vector<std::function<void()>> m_rgHeld GUARDED_BY(m_gateLock);
};
