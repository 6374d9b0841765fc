// The private slapd of the directory tests and the registry text that points
// the directory-services library at it.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "fixture_support.h"
#include "test_registry.h"

// Writes a bind password file with the given mode.
inline void WriteSecret(const std::string& path, const std::string& password, mode_t mode = 0600) {
  std::ofstream(path) << password << "\n";
  chmod(path.c_str(), mode);
}

inline std::string ShellQuoted(const std::string& s) {
  std::string sOut = "'";
  for (char ch : s) sOut += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return sOut + "'";
}

// A private slapd with the password policy (slapd_fixture.sh): users
// uid=alice|bob|carol,ou=people,dc=example,dc=test with "Passw0rd!". With
// fTls, also ldaps and StartTLS, with CaFile() signing the server's
// certificate and OtherCaFile() not.
class CSlapdServer : public vlttest::CScriptedServer {
 public:
  explicit CSlapdServer(bool fTls = false) : CScriptedServer("directory/slapd_fixture.sh", fTls ? 2 : 1) {}

  // Starts it and writes the service's password file, SecretFile().
  bool Started() {
    if (Start() != 0) return false;
    WriteSecret(SecretFile(), "rootsecret");
    return true;
  }
  std::string Uri() const { return "ldap://127.0.0.1:" + std::to_string(Port(0)) + "/"; }
  std::string TlsUri() const { return "ldaps://127.0.0.1:" + std::to_string(Port(1)) + "/"; }
  std::string CaFile() const { return Dir() + "/tls/ca.pem"; }
  std::string OtherCaFile() const { return Dir() + "/tls/other-ca.pem"; }
  std::string SecretFile() const { return Dir() + "/bind.secret"; }
  // The registry for this server (plain LDAP unless a CA file is given).
  std::string Registry(const std::string& uri = "", const std::string& caFile = "") const {
    return vlttest::DirectoryServices(uri.empty() ? Uri() : uri, vlttest::BindIdentity("cn=admin,dc=example,dc=test", SecretFile()),
                             caFile);
  }
  // True when a simple bind as the DN with the password succeeds.
  bool CanBind(const std::string& sDn, const std::string& sPassword) const {
    return std::system(("ldapwhoami -x -H " + Uri() + " -D " + ShellQuoted(sDn) + " -w " + ShellQuoted(sPassword) +
                        " >/dev/null 2>&1").c_str()) == 0;
  }
};
