// Command line of vltadmin-host.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

struct CExtensionMapping {
  std::string m_urlPath;  // "/Scripts/vltadmin/vltadmin.dll"
  std::string m_library;  // file name given to dlopen
};

struct CHostOptions {
  std::string m_listen = "127.0.0.1:8080";
  std::string m_registry;  // empty: VLTADMIN_REGISTRY, else the installed default
  std::vector<CExtensionMapping> m_extensions;
  // A request's body is read whole before its extension is called, so that
  // no extension thread ever waits on a client; a larger body is refused.
  size_t m_cbReadAhead = 48 * 1024;
  // The body must come at this many bytes a second after the body timeout's
  // first allowance (a whole body: body timeout + size / rate at most).
  size_t m_cbBodyMinRate = 1024;
  std::string m_tlsCert;
  std::string m_tlsKey;
  std::string m_accessLog;
  bool m_fAllowPlainHttp = false;
  size_t m_cbMaxHeader = 16 * 1024;
  size_t m_nMaxConnections = 1024;
  size_t m_nMaxPerAddress = 0;  // from one client address; 0: half of m_nMaxConnections
  int m_nIoThreads = 2;
  std::chrono::milliseconds m_headerTimeout{10000};
  std::chrono::milliseconds m_keepAliveTimeout{30000};
  std::chrono::milliseconds m_bodyTimeout{10000};
  std::chrono::milliseconds m_writeTimeout{10000};
  std::chrono::milliseconds m_shutdownTimeout{30000};
  std::string m_pageDir;        // empty: the installed page files
  bool m_fPageDirGiven = false;  // --page-dir "" serves no page
  std::string m_metricsListen;  // empty: /metrics on a loopback listener only
};

// Parses argv into |opts|. Returns false with a message in |err| on a bad
// option; sets |fHelp| when --help was given.
bool ParseHostOptions(int argc, char** argv, CHostOptions& opts, std::string& err, bool& fHelp);

const char* HostUsage();

// Splits "ADDR:PORT" or "[V6ADDR]:PORT". Returns false when malformed.
bool SplitListenAddress(const std::string& text, std::string& addr, unsigned short& port);
