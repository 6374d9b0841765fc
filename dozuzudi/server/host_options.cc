#include "server/host_options.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <string_view>
#include <cmath>
#include <cstdlib>

namespace {

bool ParseCount(const std::string& text, size_t& n) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* pEnd = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &pEnd, 10);
  if (errno != 0 || *pEnd != '\0') return false;
  n = static_cast<size_t>(v);
  return true;
}

// Seconds, possibly fractional ("0.5").
bool ParseSeconds(const std::string& text, std::chrono::milliseconds& d) {
  if (text.empty()) return false;
  errno = 0;
  char* pEnd = nullptr;
  double v = std::strtod(text.c_str(), &pEnd);
  if (errno != 0 || *pEnd != '\0' || !(v > 0) || v > 86400) return false;
  d = std::chrono::milliseconds(static_cast<long long>(std::llround(v * 1000)));
  return d.count() > 0;
}

}  // namespace

const char* HostUsage() {
  return "usage: vltadmin-host [options]\n"
         "  --listen ADDR:PORT          address to serve (127.0.0.1:8080; port 0 picks one)\n"
         "  --registry FILE             registry file for the extension (else $VLTADMIN_REGISTRY,\n"
         "                              else the installed default)\n"
         "  --extension URLPATH=LIBRARY serve an ISAPI library at URLPATH (repeatable; default\n"
         "                              libvltadmin.so beside the host at\n"
         "                              /Scripts/vltadmin/vltadmin.dll)\n"
         "  --read-ahead BYTES          a body is read whole before the extension is called;\n"
         "                              a larger one is refused 413 (49152)\n"
         "  --body-min-rate BYTES       after the body timeout, the body must come at this\n"
         "                              many bytes a second (1024)\n"
         "  --tls-cert FILE --tls-key FILE  serve HTTPS with this PEM certificate chain and key\n"
         "  --allow-plain-http          allow plain HTTP on an address other than loopback\n"
         "  --access-log FILE           append one line per request\n"
         "  --page-dir DIR              files of the self-service page at /vltadmin/ (default:\n"
         "                              share/vltadmin/www of the host's tree; \"\" for none)\n"
         "  --metrics-listen ADDR:PORT  serve /metrics there (default: on the listen address\n"
         "                              when that is a loopback address, else nowhere)\n"
         "  --max-connections N         open connections at most (1024); a quarter of them is\n"
         "                              kept for clients that send whole requests\n"
         "  --max-connections-per-address N  from one client address (half the maximum)\n"
         "  --max-header-bytes BYTES    request line and header at most (16384)\n"
         "  --io-threads N              network threads (2)\n"
         "  --header-timeout SEC        to receive a request header or TLS handshake (10)\n"
         "  --keepalive-timeout SEC     idle time between requests (30)\n"
         "  --body-timeout SEC          for the request body, plus its size at the minimum rate (10)\n"
         "  --write-timeout SEC         for each write of the response (10)\n"
         "  --shutdown-timeout SEC      for connections to end after a stop signal (30)\n";
}

bool SplitListenAddress(const std::string& text, std::string& addr, unsigned short& port) {
  size_t iColon = text.rfind(':');
  if (iColon == std::string::npos || iColon == 0) return false;
  addr = text.substr(0, iColon);
  if (addr.size() >= 2 && addr.front() == '[' && addr.back() == ']')
    addr = addr.substr(1, addr.size() - 2);
  size_t n = 0;
  if (!ParseCount(text.substr(iColon + 1), n) || n > 65535) return false;
  port = static_cast<unsigned short>(n);
  return !addr.empty();
}

bool ParseHostOptions(int argc, char** argv, CHostOptions& opts, std::string& err, bool& fHelp) {
  fHelp = false;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::string value;
    if (name.rfind("--", 0) != 0 && name != "-h") {
      err = "unexpected argument: " + name;
      return false;
    }
    bool fInline = false;
    if (size_t iEq = name.find('='); name.rfind("--", 0) == 0 && iEq != std::string::npos &&
                                     name.rfind("--extension", 0) != 0) {
      value = name.substr(iEq + 1);
      name = name.substr(0, iEq);
      fInline = true;
    } else if (name.rfind("--extension=", 0) == 0) {
      value = name.substr(12);
      name = "--extension";
      fInline = true;
    }
    auto needValue = [&]() -> bool {
      // An unknown name is said as such, not taken for a valued option.
      static constexpr std::string_view s_rgValued[] = {
          "--listen", "--registry", "--extension", "--read-ahead", "--body-min-rate",
          "--tls-cert", "--tls-key", "--access-log", "--page-dir", "--metrics-listen",
          "--max-connections", "--max-connections-per-address", "--max-header-bytes",
          "--io-threads", "--header-timeout", "--keepalive-timeout", "--body-timeout",
          "--write-timeout", "--shutdown-timeout"};
      if (std::find(std::begin(s_rgValued), std::end(s_rgValued), name) == std::end(s_rgValued)) {
        err = "unknown option: " + name;
        return false;
      }
      if (fInline) return true;
      if (i + 1 >= argc) {
        err = name + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    auto bad = [&]() {
      err = "invalid value for " + name + ": " + value;
      return false;
    };
    if (name == "--help" || name == "-h") {
      fHelp = true;
      return true;
    } else if (name == "--allow-plain-http") {
      opts.m_fAllowPlainHttp = true;
    } else if (!needValue()) {
      return false;
    } else if (name == "--listen") {
      std::string addr;
      unsigned short port;
      if (!SplitListenAddress(value, addr, port)) return bad();
      opts.m_listen = value;
    } else if (name == "--registry") {
      opts.m_registry = value;
    } else if (name == "--extension") {
      size_t iEq = value.find('=');
      if (iEq == std::string::npos || iEq == 0 || value[0] != '/' || iEq + 1 == value.size())
        return bad();
      opts.m_extensions.push_back({value.substr(0, iEq), value.substr(iEq + 1)});
    } else if (name == "--read-ahead") {
      if (!ParseCount(value, opts.m_cbReadAhead) || opts.m_cbReadAhead > (1u << 30)) return bad();
    } else if (name == "--tls-cert") {
      opts.m_tlsCert = value;
    } else if (name == "--tls-key") {
      opts.m_tlsKey = value;
    } else if (name == "--access-log") {
      opts.m_accessLog = value;
    } else if (name == "--page-dir") {
      opts.m_pageDir = value;
      opts.m_fPageDirGiven = true;
    } else if (name == "--metrics-listen") {
      std::string addr;
      unsigned short port;
      if (!SplitListenAddress(value, addr, port)) return bad();
      opts.m_metricsListen = value;
    } else if (name == "--body-min-rate") {
      if (!ParseCount(value, opts.m_cbBodyMinRate) || opts.m_cbBodyMinRate == 0) return bad();
    } else if (name == "--max-connections-per-address") {
      if (!ParseCount(value, opts.m_nMaxPerAddress) || opts.m_nMaxPerAddress == 0) return bad();
    } else if (name == "--max-connections") {
      if (!ParseCount(value, opts.m_nMaxConnections) || opts.m_nMaxConnections == 0) return bad();
    } else if (name == "--max-header-bytes") {
      if (!ParseCount(value, opts.m_cbMaxHeader) || opts.m_cbMaxHeader < 256 ||
          opts.m_cbMaxHeader > (1u << 24))
        return bad();
    } else if (name == "--io-threads") {
      size_t n = 0;
      if (!ParseCount(value, n) || n == 0 || n > 64) return bad();
      opts.m_nIoThreads = static_cast<int>(n);
    } else if (name == "--header-timeout") {
      if (!ParseSeconds(value, opts.m_headerTimeout)) return bad();
    } else if (name == "--keepalive-timeout") {
      if (!ParseSeconds(value, opts.m_keepAliveTimeout)) return bad();
    } else if (name == "--body-timeout") {
      if (!ParseSeconds(value, opts.m_bodyTimeout)) return bad();
    } else if (name == "--write-timeout") {
      if (!ParseSeconds(value, opts.m_writeTimeout)) return bad();
    } else if (name == "--shutdown-timeout") {
      if (!ParseSeconds(value, opts.m_shutdownTimeout)) return bad();
    } else {
      err = "unknown option: " + name;
      return false;
    }
  }
  if (opts.m_tlsCert.empty() != opts.m_tlsKey.empty()) {
    err = "--tls-cert and --tls-key must be given together";
    return false;
  }
  return true;
}
