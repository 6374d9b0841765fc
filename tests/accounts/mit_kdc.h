// An MIT KDC and password server on loopback for one test, started and
// stopped through kdc.sh. The destructor always stops it.
#pragma once

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
  static int Script(const std::string& arguments) { return RunTestScript("kdc.sh", arguments); }

  CScratchDir m_dir;
  bool m_fStarted = false;
  unsigned short m_nKdcPort = 0, m_nKpasswdPort = 0, m_nUnusedPort = 0;
};

}  // namespace accounttest
