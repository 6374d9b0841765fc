// An MIT KDC and password server on loopback for one test, started and
// stopped through kdc.sh. The destructor always stops it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "account_test_support.h"

namespace accounttest {

class CMitKdc {
 public:
  static constexpr const char* kRealm = "EXAMPLE.TEST";
  static constexpr int kMissing = 77;

  CMitKdc() = default;
  ~CMitKdc() { Stop(); }
  CMitKdc(const CMitKdc&) = delete;
  CMitKdc& operator=(const CMitKdc&) = delete;

  // 0 when running; kMissing when the KDC programs are not installed; any
  // other value when the start failed (the script printed why).
  int Start() {
    std::vector<unsigned short> ports = FreePorts(4);
    if (ports.size() != 4) return 1;
    m_nKdcPort = ports[0];
    m_nKpasswdPort = ports[1];
    m_nUnusedPort = ports[3];
    m_fStarted = true;
    int status = Script("start " + m_dir.Path("kdc") + " " + std::to_string(ports[0]) + " " +
                        std::to_string(ports[1]) + " " + std::to_string(ports[2]));
    if (status != 0) m_fStarted = false;
    return status;
  }
  void Stop() {
    if (m_fStarted) Script("stop " + m_dir.Path("kdc"));
    m_fStarted = false;
  }

  // Registry text for a domain served by this KDC (or by a port where
  // nothing listens).
  std::string Domain(const std::string& domain, bool fReachable = true, const char* pszRealm = kRealm) const {
    unsigned short nKdc = fReachable ? m_nKdcPort : m_nUnusedPort;
    unsigned short nKpasswd = fReachable ? m_nKpasswdPort : m_nUnusedPort;
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Accounts\\Domains\\" + domain +
           "]\r\n\"Provider\"=\"kerberos\"\r\n\"Realm\"=\"" + pszRealm + "\"\r\n\"Kdc\"=\"127.0.0.1:" +
           std::to_string(nKdc) + "\"\r\n\"KpasswdServer\"=\"127.0.0.1:" + std::to_string(nKpasswd) +
           "\"\r\n\r\n";
  }

 private:
  static int Script(const std::string& arguments) {
    const char* pszSource = getenv("VLT_SOURCE_DIR");
    std::string command =
        "bash " + std::string(pszSource ? pszSource : ".") + "/tests/accounts/kdc.sh " + arguments;
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  }

  // Distinct loopback ports free for TCP and UDP at the moment of asking.
  static std::vector<unsigned short> FreePorts(size_t count) {
    std::vector<int> sockets;
    std::vector<unsigned short> ports;
    while (ports.size() < count && sockets.size() < 64) {
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      int tcp = socket(AF_INET, SOCK_STREAM, 0);
      socklen_t cb = sizeof(address);
      if (tcp < 0 || bind(tcp, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
          getsockname(tcp, reinterpret_cast<sockaddr*>(&address), &cb) != 0)
        break;
      sockets.push_back(tcp);
      int udp = socket(AF_INET, SOCK_DGRAM, 0);
      if (udp >= 0 && bind(udp, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
        ports.push_back(ntohs(address.sin_port));
      if (udp >= 0) sockets.push_back(udp);
    }
    for (int fd : sockets) close(fd);
    return ports;
  }

  CScratchDir m_dir;
  bool m_fStarted = false;
  unsigned short m_nKdcPort = 0, m_nKpasswdPort = 0, m_nUnusedPort = 0;
};

}  // namespace accounttest
