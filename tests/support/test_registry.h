// The registry of a test: a registry file in a scratch directory that is
// also an install location (System32/vltxmlss.txt, a copy of the shipped
// alias file; "@LOCATION@" in the text stands for the directory), and the
// keys each subsystem reads.
#pragma once

#include <cstdio>
#include <string>

#include "scratch_dir.h"

namespace vlttest {

inline constexpr char kRegHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";

// One key and its value lines.
inline std::string RegKey(const std::string& path, const std::string& values = "") {
  return "[" + path + "]\r\n" + values + "\r\n";
}
inline std::string RegString(const std::string& name, const std::string& value) {
  return (name == "@" ? name : "\"" + name + "\"") + "=\"" + value + "\"\r\n";
}
inline std::string RegDword(const std::string& name, unsigned n) {
  char sz[9];
  snprintf(sz, sizeof sz, "%08x", n);
  return "\"" + name + "\"=dword:" + sz + "\r\n";
}

// A whole file: the install location, then more keys.
inline std::string RegistryText(const std::string& more = "") {
  return kRegHeader + RegKey("HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install", RegString("Location", "@LOCATION@")) +
         more;
}

inline std::string VeltraKey(const std::string& sub, const std::string& values) {
  return RegKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\" + sub, values);
}
// An NT domain served by the local account store at |store|.
inline std::string LocalDomain(const std::string& domain, const std::string& store) {
  return VeltraKey("Accounts\\Domains\\" + domain, RegString("Provider", "local") + RegString("Store", store));
}
// An NT domain served by a Kerberos KDC and password server on loopback.
inline std::string KerberosDomain(const std::string& domain, unsigned short nKdc, unsigned short nKpasswd,
                                  const std::string& realm = "EXAMPLE.TEST") {
  return VeltraKey("Accounts\\Domains\\" + domain,
                   RegString("Provider", "kerberos") + RegString("Realm", realm) +
                       RegString("Kdc", "127.0.0.1:" + std::to_string(nKdc)) +
                       RegString("KpasswdServer", "127.0.0.1:" + std::to_string(nKpasswd)));
}
// The password translator class served by |module|.
inline std::string TranslatorServer(const std::string& module) {
  return RegKey("HKEY_CLASSES_ROOT\\CLSID\\{7C2E9A41-5D3B-4E8F-9A60-1B4C8D2E7F35}\\InprocServer32",
                RegString("@", module));
}
// The directory-services class, and the version of the installed library.
inline std::string AdsiClass() {
  return RegKey("HKEY_CLASSES_ROOT\\CLSID\\{274FAE1F-3626-11D1-A3A4-00C04FB950DC}\\InprocServer32",
                RegString("@", "ACTIVEDS.DLL"));
}
inline std::string AdsiVersion(const std::string& version = "2,5,0,0") {
  return RegKey("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Active Setup\\Installed Components\\"
                "{E92B03AB-B707-11d2-9CBD-0000F87A369E}",
                RegString("Version", version));
}
// The directory-services class and settings: the servers, the service's
// identity (value lines) and a CA file, or plain LDAP allowed on loopback.
inline std::string DirectoryServices(const std::string& servers, const std::string& identity,
                                     const std::string& caFile = "") {
  return AdsiClass() +
         VeltraKey("Directory Services", RegString("DomainName", "example.test") + RegString("Servers", servers) +
                                             identity +
                                             (caFile.empty() ? RegDword("AllowPlainLoopback", 1)
                                                             : RegString("CACertificateFile", caFile)));
}
// A simple-bind identity with its password file.
inline std::string BindIdentity(const std::string& bindDn, const std::string& secretFile) {
  return RegString("BindDN", bindDn) + RegString("BindPasswordFile", secretFile);
}

// The registry file, named by VLTADMIN_REGISTRY while the object lives.
class ScopedRegistryFile {
 public:
  explicit ScopedRegistryFile(const std::string& contents = RegistryText());
  ~ScopedRegistryFile();
  ScopedRegistryFile(const ScopedRegistryFile&) = delete;
  ScopedRegistryFile& operator=(const ScopedRegistryFile&) = delete;
  // Replaces the whole file (written beside and renamed over it).
  void Rewrite(const std::string& contents);
  // The install location and more keys.
  void Use(const std::string& more) { Rewrite(RegistryText(more)); }
  const std::string& Path() const { return m_path; }
  const std::string& Directory() const { return m_dir.Dir(); }

 private:
  CScratchDir m_dir;
  std::string m_path;
};

}  // namespace vlttest
