// The directory servers of the directory tests and the registry text that
// points the directory-services library at them.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "fixture_support.h"

// The directory-services class registration and settings: the servers, the
// service's identity (registry lines, see BindIdentity) and either a CA file
// or plain LDAP allowed on loopback.
inline std::string DirectoryRegistry(const std::string& servers, const std::string& identity,
                                     const std::string& caFile = "") {
  return "[HKEY_CLASSES_ROOT\\CLSID\\{274FAE1F-3626-11D1-A3A4-00C04FB950DC}\\InprocServer32]\r\n"
         "@=\"ACTIVEDS.DLL\"\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Directory Services]\r\n"
         "\"DomainName\"=\"example.test\"\r\n\"Servers\"=\"" + servers + "\"\r\n" + identity +
         (caFile.empty() ? "\"AllowPlainLoopback\"=dword:00000001\r\n\r\n"
                         : "\"CACertificateFile\"=\"" + caFile + "\"\r\n\r\n");
}

// A simple-bind identity with its password file.
inline std::string BindIdentity(const std::string& bindDn, const std::string& secretFile) {
  return "\"BindDN\"=\"" + bindDn + "\"\r\n\"BindPasswordFile\"=\"" + secretFile + "\"\r\n";
}

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
    return DirectoryRegistry(uri.empty() ? Uri() : uri, BindIdentity("cn=admin,dc=example,dc=test", SecretFile()),
                             caFile);
  }
  // True when a simple bind as the DN with the password succeeds.
  bool CanBind(const std::string& sDn, const std::string& sPassword) const {
    return std::system(("ldapwhoami -x -H " + Uri() + " -D " + ShellQuoted(sDn) + " -w " + ShellQuoted(sPassword) +
                        " >/dev/null 2>&1").c_str()) == 0;
  }
};
