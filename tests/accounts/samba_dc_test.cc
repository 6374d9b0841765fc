// NT changes through vltadmin-host against a Samba Active Directory domain
// controller (its KDC and kpasswd on loopback), with the kerberos provider.
// One test: provisioning a domain takes seconds.
#include <gtest/gtest.h>

#include "host_with_extension.h"
#include "samba_dc.h"

using accounttest::CSambaDc;

namespace {

class SambaDcOverHttp : public HostWithExtension {
 protected:
  void SetUp() override {
    int nStatus = m_dc.Start();
    if (nStatus == CSambaDc::kMissing)
      GTEST_SKIP() << "Samba is not installed (Debian packages samba samba-dsdb-modules samba-vfs-modules "
                      "samba-ad-provision winbind)";
    ASSERT_EQ(nStatus, 0) << "samba_dc.sh start failed";
    StartHost(m_dc.Domain("EXAMPLE") + m_dc.Domain("DOWN", false));
  }
  std::string Change(const std::string& domain, const std::string& user, const std::string& oldPassword,
                     const std::string& newPassword) {
    std::string body = "<?xml version=\"1.0\"?><AdminProtocol version=\"1.0\"><RequestChangePassword><UserName>" +
                       user + "</UserName><Domain type=\"NT\">" + domain + "</Domain><OldPassword>" + oldPassword +
                       "</OldPassword><NewPassword>" + newPassword +
                       "</NewPassword></RequestChangePassword></AdminProtocol>";
    CHttpResponse response = Exchange(Post(body));
    EXPECT_EQ(response.m_nStatus, 200);
    size_t at = response.m_body.find("<ErrorId>");
    if (at == std::string::npos) return "";
    at += 9;
    return response.m_body.substr(at, response.m_body.find("</ErrorId>") - at);
  }
  CSambaDc m_dc;
};

}  // namespace

TEST_F(SambaDcOverHttp, ChangesAndRefusals) {
  EXPECT_EQ(Change("EXAMPLE", "alice", "wrong", "Alice#Pass2"), "old-password-invalid");
  EXPECT_EQ(Change("EXAMPLE", "alice", "Alice#Pass1", "Ab#1"), "new-password-invalid") << "too short";
  EXPECT_EQ(Change("EXAMPLE", "alice", "Alice#Pass1", "alllowercase"), "new-password-invalid") << "not complex";
  EXPECT_EQ(Change("EXAMPLE", "alice", "Alice#Pass1", "Alice#Pass1"), "new-password-invalid") << "in history";
  EXPECT_EQ(Change("EXAMPLE", "bob", "Bob#Pass12", "Bob#Pass13x"), "new-password-invalid") << "too soon";
  EXPECT_EQ(Change("EXAMPLE", "nobody", "Alice#Pass1", "Alice#Pass2"), "operation-failed") << "unknown user";
  EXPECT_EQ(Change("DOWN", "alice", "Alice#Pass1", "Alice#Pass2"), "operation-failed") << "unreachable DC";
  EXPECT_EQ(Change("\\\\dc1", "alice", "Alice#Pass1", "Alice#Pass2"), "operation-failed");
  // Success, then the new password is the one the DC accepts.
  EXPECT_EQ(Change("example", "alice", "Alice#Pass1", "Alice#Pass2"), "");
  EXPECT_EQ(Change("EXAMPLE", "alice", "Alice#Pass1", "Alice#Pass3"), "old-password-invalid");
  EXPECT_EQ(Change("EXAMPLE", "alice", "Alice#Pass2", "Alice#Pass3"), "");
  // Wrong old passwords count toward the lockout threshold (5): the fifth
  // locks the account, and then even the right password fails.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Change("EXAMPLE", "carol", "wrong", "Carol#Pass2"), "old-password-invalid");
  EXPECT_EQ(Change("EXAMPLE", "carol", "Carol#Pass1", "Carol#Pass2"), "operation-failed") << "locked";
}
