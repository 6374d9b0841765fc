// Password changes against a Samba Active Directory domain controller
// (tests/support/samba_dc.sh): through the directory, then as NT changes
// through its KDC (the kerberos provider). One test: provisioning takes
// seconds. Skipped when Samba is not installed.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "host_test.h"
#include "fixture_support.h"

namespace {

class SambaChange : public HostWithExtension {
 protected:
  void SetUp() override {
    VLT_START_OR_SKIP(m_dc, "Samba");
    vlttest::WriteSecret(m_dc.Dir() + "/bind.secret", "Adm1n!Passw0rd");
  }
  // The service's identity: Administrator by simple bind, or the keytab's
  // principal by SASL GSSAPI.
  std::string Registry(const std::string& sUri, const std::string& sCa = "ca.pem", bool fKeytab = false) const {
    return vlttest::DirectoryServices(sUri,
                             fKeytab ? "\"Keytab\"=\"" + m_dc.Dir() + "/service.keytab\"\r\n"
                                     : vlttest::BindIdentity("Administrator@example.test", m_dc.Dir() + "/bind.secret"),
                             m_dc.Dir() + "/tls/" + sCa);
  }
  std::string Change(const std::string& sUser, const std::string& sOld, const std::string& sNew) {
    return Answer(ChangeRequest(sUser + "@example.test", sOld, sNew));
  }
  // An ldapsearch over ldaps as the given principal.
  int Search(const std::string& sUpn, const std::string& sPassword, const std::string& sRest) const {
    return std::system(("LDAPTLS_CACERT=" + m_dc.Dir() + "/tls/ca.pem ldapsearch -LLL -x -H ldaps://127.0.0.1/ -D " +
                        sUpn + " -w " + vlttest::ShellQuoted(sPassword) + " " + sRest).c_str());
  }
  bool CanBind(const std::string& sUser, const std::string& sPassword) const {
    return Search(sUser + "@example.test", sPassword, "-b '' -s base >/dev/null 2>&1") == 0;
  }
  std::string BadPwdCount(const std::string& sUser) const {
    std::string sOut = m_dc.Dir() + "/count.txt";
    Search("Administrator@example.test", "Adm1n!Passw0rd",
           "-b DC=example,DC=test '(sAMAccountName=" + sUser + ")' badPwdCount > " + sOut);
    std::ifstream in(sOut);
    for (std::string sLine; std::getline(in, sLine);)
      if (sLine.rfind("badPwdCount: ", 0) == 0) return sLine.substr(13);
    return "";
  }
  vlttest::CScriptedServer m_dc{"support/samba_dc.sh", 2};
};

}  // namespace

TEST_F(SambaChange, AnswersEachOutcome) {
  // Kerberos for the keytab identity; of the SASL mechanisms only GSSAPI.
  std::string sSasl = m_dc.Dir() + "/sasl";
  std::filesystem::create_directories(sSasl);
  std::error_code ec;
  std::filesystem::create_symlink("/usr/lib/x86_64-linux-gnu/sasl2/libgssapiv2.so", sSasl + "/libgssapiv2.so", ec);
  m_host.SetEnv("SASL_PATH", sSasl);
  m_host.SetEnv("KRB5_CONFIG", m_dc.Dir() + "/krb5.conf");
  // The controller's own bad-password counts are read: no guessing limit in front of it.
  StartHost(NoGuessingLimits() + Registry("ldaps://127.0.0.1/"));
  EXPECT_EQ(Change("alice", "Alice#Pass1", "Alice#Pass2"), "");
  EXPECT_TRUE(CanBind("alice", "Alice#Pass2"));

  std::string sBefore = BadPwdCount("alice");
  EXPECT_EQ(Change("alice", "Wrong#Old1", "Alice#Pass3"), "old-password-invalid");
  EXPECT_NE(BadPwdCount("alice"), sBefore);

  sBefore = BadPwdCount("alice");
  EXPECT_EQ(Change("alice", "Alice#Pass2", "A#1"), "new-password-invalid");
  EXPECT_EQ(BadPwdCount("alice"), sBefore);
  EXPECT_TRUE(CanBind("alice", "Alice#Pass2"));

  // Unknown users, servers that are down and unverified certificates:
  // DirectoryChange and BackEndFaultsOverHttp, against slapd. Nothing
  // listens on port 1: the next server of the list takes the change.
  UseRegistry(Registry("ldaps://127.0.0.1:1/ ldaps://127.0.0.1/"));
  EXPECT_EQ(Change("carol", "Carol#Pass1", "Carol#Pass34"), "");
  EXPECT_TRUE(CanBind("carol", "Carol#Pass34"));

  // The service as the keytab's principal: the change and the count that
  // tells a wrong old password apart both go through its GSSAPI binds.
  UseRegistry(Registry("ldaps://127.0.0.1/", "ca.pem", true));
  EXPECT_EQ(Change("carol", "Carol#Pass34", "Carol#Pass56"), "");
  EXPECT_TRUE(CanBind("carol", "Carol#Pass56"));
  EXPECT_EQ(Change("carol", "Wrong#Old1", "Carol#Pass78"), "old-password-invalid");
  // A keytab that others may read is refused.
  chmod((m_dc.Dir() + "/service.keytab").c_str(), 0644);
  EXPECT_EQ(Change("carol", "Carol#Pass56", "Carol#Pass78"), "operation-failed");
  EXPECT_TRUE(CanBind("carol", "Carol#Pass56"));

  // NT changes through the controller's KDC. Unknown users, unreachable
  // KDCs and lockout: KerberosProviderTest against an MIT KDC.
  UseRegistry(vlttest::KerberosDomain("EXAMPLE", m_dc.Port(0), m_dc.Port(1)));
  auto nt = [this](const char* pszDomain, const char* pszUser, const char* pszOld, const char* pszNew) {
    return Answer(ChangeRequest(pszUser, pszOld, pszNew, "NT", pszDomain));
  };
  EXPECT_EQ(nt("EXAMPLE", "alice", "Alice#Pass2", "Ab#1"), "new-password-invalid");  // its policy block
  EXPECT_EQ(nt("\\\\dc1", "alice", "Alice#Pass2", "Alice#Pass3"), "operation-failed");
  EXPECT_EQ(nt("example", "alice", "Alice#Pass2", "Alice#Pass3"), "");
  EXPECT_EQ(nt("EXAMPLE", "alice", "Alice#Pass2", "Alice#Pass4"), "old-password-invalid");
  EXPECT_TRUE(CanBind("alice", "Alice#Pass3"));
}
