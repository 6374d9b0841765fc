// Directory password changes against a Samba Active Directory domain
// controller (samba_fixture.sh), one for the whole suite since provisioning
// takes seconds. Skipped when Samba is not installed.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "../integration/host_with_extension.h"

namespace {

std::string Script() {
  return std::string(std::getenv("VLT_SOURCE_DIR")) + "/tests/directory/samba_fixture.sh";
}

std::string UpnChange(const std::string& sUpn, const std::string& sOld, const std::string& sNew) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<AdminProtocol version=\"1.0\">\n"
         "  <RequestChangePassword>\n    <UserName>" + sUpn + "</UserName>\n"
         "    <OldPassword>" + sOld + "</OldPassword>\n    <NewPassword>" + sNew +
         "</NewPassword>\n  </RequestChangePassword>\n</AdminProtocol>\n";
}

class SambaChange : public HostWithExtension {
 protected:
  static void SetUpTestSuite() {
    if (std::system("command -v samba-tool >/dev/null 2>&1") != 0) return;
    char szTemplate[] = "/tmp/vlt-samba-XXXXXX";
    if (mkdtemp(szTemplate) == nullptr) return;
    ms_sDir = szTemplate;
    ms_fStarted = std::system((Script() + " start " + ms_sDir).c_str()) == 0;
    std::ofstream(ms_sDir + "/bind.secret") << "Adm1n!Passw0rd\n";
    chmod((ms_sDir + "/bind.secret").c_str(), 0600);
  }

  static void TearDownTestSuite() {
    if (ms_sDir.empty()) return;
    std::system((Script() + " stop " + ms_sDir).c_str());
    std::error_code ec;
    std::filesystem::remove_all(ms_sDir, ec);
    ms_sDir.clear();
  }

  void SetUp() override {
    if (ms_sDir.empty()) GTEST_SKIP() << "Samba is not installed";
    ASSERT_TRUE(ms_fStarted);
  }

  // The service's identity: Administrator by simple bind, or the keytab's
  // principal by SASL GSSAPI.
  static std::string Registry(const std::string& sUri, const std::string& sCa = "ca.pem",
                              bool fKeytab = false) {
    std::string sIdentity =
        fKeytab ? "\"Keytab\"=\"" + ms_sDir + "/service.keytab\"\r\n"
                : "\"BindDN\"=\"Administrator@example.test\"\r\n"
                  "\"BindPasswordFile\"=\"" + ms_sDir + "/bind.secret\"\r\n";
    return "[HKEY_CLASSES_ROOT\\CLSID\\{274FAE1F-3626-11D1-A3A4-00C04FB950DC}\\InprocServer32]\r\n"
           "@=\"ACTIVEDS.DLL\"\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Directory Services]\r\n"
           "\"DomainName\"=\"example.test\"\r\n\"Servers\"=\"" + sUri + "\"\r\n"
           "\"CACertificateFile\"=\"" + ms_sDir + "/tls/" + sCa + "\"\r\n" + sIdentity + "\r\n";
  }

  std::string Change(const std::string& sUpn, const std::string& sOld, const std::string& sNew) {
    CHttpResponse response = Exchange(Post(UpnChange(sUpn, sOld, sNew)));
    size_t nStart = response.m_raw.find("<ErrorId>");
    if (nStart == std::string::npos) return "";
    nStart += 9;
    return response.m_raw.substr(nStart, response.m_raw.find("</ErrorId>") - nStart);
  }

  static bool CanBind(const std::string& sUpn, const std::string& sPassword) {
    std::string sCommand = "LDAPTLS_CACERT=" + ms_sDir + "/tls/ca.pem ldapsearch -x -H ldaps://127.0.0.1/ -D " +
                           sUpn + " -w '" + sPassword + "' -b '' -s base >/dev/null 2>&1";
    return std::system(sCommand.c_str()) == 0;
  }

  static std::string BadPwdCount(const std::string& sUser) {
    std::string sOut = ms_sDir + "/count.txt";
    std::system(("LDAPTLS_CACERT=" + ms_sDir + "/tls/ca.pem ldapsearch -LLL -x -H ldaps://127.0.0.1/ "
                 "-D Administrator@example.test -w 'Adm1n!Passw0rd' -b DC=example,DC=test "
                 "'(sAMAccountName=" + sUser + ")' badPwdCount > " + sOut).c_str());
    std::ifstream in(sOut);
    std::string sLine;
    while (std::getline(in, sLine))
      if (sLine.rfind("badPwdCount: ", 0) == 0) return sLine.substr(13);
    return "";
  }

  static inline std::string ms_sDir;
  static inline bool ms_fStarted = false;
};

}  // namespace

// One test, so that a parallel run never starts two controllers (they
// would share ports and winbind's socket).
TEST_F(SambaChange, AnswersEachOutcome) {
  // Kerberos for the keytab identity; of the SASL mechanisms only GSSAPI.
  std::string sSasl = ms_sDir + "/sasl";
  std::filesystem::create_directories(sSasl);
  std::error_code ec;
  std::filesystem::create_symlink("/usr/lib/x86_64-linux-gnu/sasl2/libgssapiv2.so", sSasl + "/libgssapiv2.so", ec);
  m_host.SetEnv("SASL_PATH", sSasl);
  m_host.SetEnv("KRB5_CONFIG", ms_sDir + "/krb5.conf");
  StartHost(Registry("ldaps://127.0.0.1/"));
  EXPECT_EQ(Change("alice@example.test", "Alice#Pass1", "Alice#Pass2"), "");
  EXPECT_TRUE(CanBind("alice@example.test", "Alice#Pass2"));

  std::string sBefore = BadPwdCount("alice");
  EXPECT_EQ(Change("alice@example.test", "Wrong#Old1", "Alice#Pass3"), "old-password-invalid");
  EXPECT_NE(BadPwdCount("alice"), sBefore);

  sBefore = BadPwdCount("alice");
  EXPECT_EQ(Change("alice@example.test", "Alice#Pass2", "A#1"), "new-password-invalid");
  EXPECT_EQ(Change("alice@example.test", "Alice#Pass2", "alllowercase"), "new-password-invalid");
  EXPECT_EQ(Change("alice@example.test", "Alice#Pass2", "Alice#Pass1"), "new-password-invalid");
  EXPECT_EQ(BadPwdCount("alice"), sBefore);
  EXPECT_TRUE(CanBind("alice@example.test", "Alice#Pass2"));

  EXPECT_EQ(Change("nobody@example.test", "Alice#Pass2", "Alice#Pass3"), "operation-failed");

  // Nothing listens on port 1: a controller that is down.
  m_registry.Rewrite(vlttest::ScopedRegistryFile::WithInstallLocation(
      Registry("ldaps://127.0.0.1:1/")));
  EXPECT_EQ(Change("bob@example.test", "Bob#Pass12", "Bob#Pass34"), "operation-failed");
  m_registry.Rewrite(vlttest::ScopedRegistryFile::WithInstallLocation(
      Registry("ldaps://127.0.0.1/", "other-ca.pem")));
  EXPECT_EQ(Change("bob@example.test", "Bob#Pass12", "Bob#Pass34"), "operation-failed");
  // Back again: the next request goes through.
  m_registry.Rewrite(vlttest::ScopedRegistryFile::WithInstallLocation(
      Registry("ldaps://127.0.0.1:1/ ldaps://127.0.0.1/")));
  EXPECT_EQ(Change("bob@example.test", "Bob#Pass12", "Bob#Pass34"), "");
  EXPECT_TRUE(CanBind("bob@example.test", "Bob#Pass34"));

  // The service as the keytab's principal: the change and the count that
  // tells a wrong old password apart both go through its GSSAPI binds.
  m_registry.Rewrite(vlttest::ScopedRegistryFile::WithInstallLocation(
      Registry("ldaps://127.0.0.1/", "ca.pem", true)));
  EXPECT_EQ(Change("bob@example.test", "Bob#Pass34", "Bob#Pass56"), "");
  EXPECT_TRUE(CanBind("bob@example.test", "Bob#Pass56"));
  EXPECT_EQ(Change("bob@example.test", "Wrong#Old1", "Bob#Pass78"), "old-password-invalid");
  // A keytab that others may read is refused.
  chmod((ms_sDir + "/service.keytab").c_str(), 0644);
  EXPECT_EQ(Change("bob@example.test", "Bob#Pass56", "Bob#Pass78"), "operation-failed");
  EXPECT_TRUE(CanBind("bob@example.test", "Bob#Pass56"));
}
