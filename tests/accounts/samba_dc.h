// A Samba Active Directory domain controller's Kerberos services on
// loopback for one test, started and stopped through samba_dc.sh. The
// destructor always stops it.
#pragma once

#include <string>
#include <vector>

#include "account_test_support.h"

namespace accounttest {

class CSambaDc {
 public:
  static constexpr int kMissing = 77;

  CSambaDc() = default;
  ~CSambaDc() { Stop(); }
  CSambaDc(const CSambaDc&) = delete;
  CSambaDc& operator=(const CSambaDc&) = delete;

  // 0 when running; kMissing when Samba is not installed; another value
  // when the start failed (the script printed why).
  int Start() {
    std::vector<unsigned short> ports = FreePorts(3);
    if (ports.size() != 3) return 1;
    m_nKdcPort = ports[0];
    m_nKpasswdPort = ports[1];
    m_nUnusedPort = ports[2];
    m_fStarted = true;
    int status = RunTestScript("samba_dc.sh", "start " + m_dir.Path("samba") + " " + std::to_string(m_nKdcPort) +
                                                  " " + std::to_string(m_nKpasswdPort));
    if (status == kMissing) m_fStarted = false;
    return status;
  }
  void Stop() {
    if (m_fStarted) RunTestScript("samba_dc.sh", "stop " + m_dir.Path("samba"));
    m_fStarted = false;
  }

  // Registry text for a domain served by this DC's realm EXAMPLE.TEST (or by
  // a port where nothing listens).
  std::string Domain(const std::string& domain, bool fReachable = true) const {
    unsigned short nKdc = fReachable ? m_nKdcPort : m_nUnusedPort;
    unsigned short nKpasswd = fReachable ? m_nKpasswdPort : m_nUnusedPort;
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Accounts\\Domains\\" + domain +
           "]\r\n\"Provider\"=\"kerberos\"\r\n\"Realm\"=\"EXAMPLE.TEST\"\r\n\"Kdc\"=\"127.0.0.1:" +
           std::to_string(nKdc) + "\"\r\n\"KpasswdServer\"=\"127.0.0.1:" + std::to_string(nKpasswd) + "\"\r\n\r\n";
  }

 private:
  CScratchDir m_dir;
  bool m_fStarted = false;
  unsigned short m_nKdcPort = 0, m_nKpasswdPort = 0, m_nUnusedPort = 0;
};

}  // namespace accounttest
