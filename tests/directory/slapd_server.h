// A private slapd (slapd_fixture.sh) on a free loopback port, in a
// temporary directory; stopped and removed by the destructor.
#pragma once

#include <string>

class CSlapdServer {
 public:
  // fTls: also ldaps on a second port and StartTLS, with the CA files
  // CaFile() (signs the server's certificate) and OtherCaFile().
  explicit CSlapdServer(bool fTls = false);
  ~CSlapdServer();
  CSlapdServer(const CSlapdServer&) = delete;
  CSlapdServer& operator=(const CSlapdServer&) = delete;

  bool Started() const { return m_fStarted; }
  unsigned short Port() const { return m_nPort; }
  const std::string& Directory() const { return m_sDir; }
  std::string Uri() const { return "ldap://127.0.0.1:" + std::to_string(m_nPort) + "/"; }
  std::string TlsUri() const { return "ldaps://127.0.0.1:" + std::to_string(m_nTlsPort) + "/"; }
  std::string CaFile() const { return m_sDir + "/tls/ca.pem"; }
  std::string OtherCaFile() const { return m_sDir + "/tls/other-ca.pem"; }
  // Stops the server and starts it again on the same ports and data.
  bool Restart() const;
  // True when a simple bind as the DN with the password succeeds.
  bool CanBind(const std::string& sDn, const std::string& sPassword) const;

 private:
  std::string m_sDir;
  unsigned short m_nPort = 0;
  unsigned short m_nTlsPort = 0;
  bool m_fStarted = false;
};
