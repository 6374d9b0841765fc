// The "kerberos" provider against a real MIT KDC on loopback (kdc.sh).
#include <gtest/gtest.h>

#include "fixture_support.h"
#include "platform/netapi/netapi.h"
#include "test_registry.h"

namespace {

class KerberosProviderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VLT_START_OR_SKIP(m_kdc, "the MIT KDC");
    using vlttest::KerberosDomain;
    m_registry.Use(KerberosDomain("KERB", m_kdc.Port(0), m_kdc.Port(1)) +
                   KerberosDomain("DOWN", m_kdc.UnusedPort(), m_kdc.UnusedPort()) +
                   KerberosDomain("ELSEWHERE", m_kdc.Port(0), m_kdc.Port(1), "OTHER.TEST"));
  }
  static DWORD Change(LPCWSTR pwszDomain, LPCWSTR pwszUser, LPCWSTR pwszOld, LPCWSTR pwszNew) {
    return NetUserChangePassword(pwszDomain, pwszUser, pwszOld, pwszNew);
  }
  vlttest::CScriptedServer m_kdc{"accounts/kdc.sh", 3};
  vlttest::ScopedRegistryFile m_registry;
};

}  // namespace

// Changes that go through are met through HTTP (BackEndFaultsOverHttp and
// SambaChange); here each refusal's status.
TEST_F(KerberosProviderTest, RefusalsMapToStatuses) {
  // The registry's KDC is used without any configuration file.
  setenv("KRB5_CONFIG", "/nonexistent/krb5.conf", 1);
  EXPECT_EQ(Change(u"KERB", u"alice", u"wrong", u"Second-Pass-2"), DWORD{ERROR_INVALID_PASSWORD});
  EXPECT_EQ(Change(u"KERB", u"alice", u"Passw0rd!", u"Sh-1"), DWORD{NERR_PasswordTooShort});
  EXPECT_EQ(Change(u"KERB", u"alice", u"Passw0rd!", u"alllowercase"), DWORD{NERR_PasswordTooShort}) << "classes";
  EXPECT_EQ(Change(u"KERB", u"alice", u"Passw0rd!", u"Passw0rd!"), DWORD{NERR_PasswordHistConflict});
  EXPECT_EQ(Change(u"KERB", u"bob", u"Passw0rd!", u"Second-Pass-2"), DWORD{NERR_PasswordTooRecent});
  EXPECT_EQ(Change(u"KERB", u"nobody", u"Passw0rd!", u"Second-Pass-2"), DWORD{NERR_UserNotFound});
  // A user name is one component: no other principal is reachable through it.
  EXPECT_EQ(Change(u"KERB", u"admin/admin", u"adminsecret", u"Second-Pass-2"), DWORD{NERR_UserNotFound});
  // Five wrong passwords lock the principal.
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(Change(u"KERB", u"dave", u"wrong", u"Second-Pass-2"), DWORD{ERROR_INVALID_PASSWORD});
  EXPECT_EQ(Change(u"KERB", u"dave", u"Passw0rd!", u"Second-Pass-2"), DWORD{ERROR_ACCOUNT_LOCKED_OUT});
  // An unreachable KDC or a foreign realm fails, and is no refusal.
  for (const char16_t* pwszDomain : {u"DOWN", u"ELSEWHERE"}) {
    DWORD status = Change(pwszDomain, u"alice", u"Passw0rd!", u"Second-Pass-2");
    EXPECT_NE(status, 0u);
    EXPECT_NE(status, DWORD{ERROR_INVALID_PASSWORD});
    EXPECT_TRUE(status < 2244 || status > 2246) << status;
  }
}
