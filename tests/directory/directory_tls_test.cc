// Directory password changes over TLS: ldaps and StartTLS with the
// server's certificate verified against the configured CA file.
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "../integration/host_with_extension.h"
#include "slapd_server.h"

namespace {

std::string UpnChange(const std::string& sUpn, const std::string& sOld, const std::string& sNew) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<AdminProtocol version=\"1.0\">\n"
         "  <RequestChangePassword>\n    <UserName>" + sUpn + "</UserName>\n"
         "    <OldPassword>" + sOld + "</OldPassword>\n    <NewPassword>" + sNew +
         "</NewPassword>\n  </RequestChangePassword>\n</AdminProtocol>\n";
}

class DirectoryTls : public HostWithExtension {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_slapd.Started());
    m_sSecret = m_slapd.Directory() + "/bind.secret";
    std::ofstream(m_sSecret) << "rootsecret\n";
    chmod(m_sSecret.c_str(), 0600);
  }

  // A registry naming the server by uri, verified with caFile; plain LDAP
  // is never allowed here.
  std::string Registry(const std::string& sUri, const std::string& sCaFile) const {
    return "[HKEY_CLASSES_ROOT\\CLSID\\{274FAE1F-3626-11D1-A3A4-00C04FB950DC}\\InprocServer32]\r\n"
           "@=\"ACTIVEDS.DLL\"\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Directory Services]\r\n"
           "\"DomainName\"=\"example.test\"\r\n\"Servers\"=\"" + sUri + "\"\r\n"
           "\"CACertificateFile\"=\"" + sCaFile + "\"\r\n"
           "\"BindDN\"=\"cn=admin,dc=example,dc=test\"\r\n"
           "\"BindPasswordFile\"=\"" + m_sSecret + "\"\r\n\r\n";
  }

  bool Changed(const std::string& sUser, const std::string& sOld, const std::string& sNew) {
    CHttpResponse response = Exchange(Post(UpnChange(sUser + "@example.test", sOld, sNew)));
    return response.m_raw.find("<ErrorId>") == std::string::npos;
  }

  CSlapdServer m_slapd{true};
  std::string m_sSecret;
};

}  // namespace

TEST_F(DirectoryTls, ChangesOverLdapsAndStartTls) {
  StartHost(Registry(m_slapd.TlsUri(), m_slapd.CaFile()));
  EXPECT_TRUE(Changed("alice", "Passw0rd!", "N3w-Secret"));
  EXPECT_TRUE(m_slapd.CanBind("uid=alice,ou=people,dc=example,dc=test", "N3w-Secret"));
  m_registry.Rewrite(vlttest::ScopedRegistryFile::WithInstallLocation(
      Registry(m_slapd.Uri(), m_slapd.CaFile())));
  EXPECT_TRUE(Changed("carol", "Passw0rd!", "N3w-Secret"));
  EXPECT_TRUE(m_slapd.CanBind("uid=carol,ou=people,dc=example,dc=test", "N3w-Secret"));
}

TEST_F(DirectoryTls, RefusesAServerItCannotVerify) {
  StartHost(Registry(m_slapd.TlsUri(), m_slapd.OtherCaFile()));
  EXPECT_FALSE(Changed("alice", "Passw0rd!", "N3w-Secret"));
  // Plain LDAP is refused unless allowed for a loopback server.
  m_registry.Rewrite(vlttest::ScopedRegistryFile::WithInstallLocation(
      Registry(m_slapd.Uri(), m_slapd.OtherCaFile())));
  EXPECT_FALSE(Changed("alice", "Passw0rd!", "N3w-Secret"));
  EXPECT_TRUE(m_slapd.CanBind("uid=alice,ou=people,dc=example,dc=test", "Passw0rd!"));
}
