// NT changes through vltadmin-host against a Samba Active Directory domain
// controller (its KDC and kpasswd on loopback), with the kerberos provider.
// One test: provisioning a domain takes seconds.
#include "fixture_support.h"
#include "host_test.h"

namespace {

class SambaDcOverHttp : public HostWithExtension {
 protected:
  void SetUp() override {
    int nStatus = m_dc.Start();
    if (nStatus == vlttest::CScriptedServer::kMissing) GTEST_SKIP() << "Samba is not installed";
    ASSERT_EQ(nStatus, 0) << "samba_dc.sh start failed";
    StartHost(vlttest::KerberosDomain("EXAMPLE", m_dc.Port(0), m_dc.Port(1)) +
              vlttest::KerberosDomain("DOWN", m_dc.UnusedPort(), m_dc.UnusedPort()));
  }
  std::string Change(const std::string& domain, const std::string& user, const std::string& oldPassword,
                     const std::string& newPassword) {
    return Answer(ChangeRequest(user, oldPassword, newPassword, "NT", domain));
  }
  vlttest::CScriptedServer m_dc{"support/samba_dc.sh", 2};
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
