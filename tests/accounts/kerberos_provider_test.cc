// The "kerberos" provider against a real MIT KDC on loopback.
#include <gtest/gtest.h>

#include "fake_isapi_host.h"
#include "host_with_extension.h"
#include "mit_kdc.h"
#include "platform/netapi.h"

using accounttest::CMitKdc;

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

#define START_KDC(kdc)                                                                                 \
  do {                                                                                                 \
    int nStatus = (kdc).Start();                                                                       \
    if (nStatus == CMitKdc::kMissing)                                                                  \
      GTEST_SKIP() << "the MIT KDC is not installed (Debian packages krb5-kdc krb5-admin-server)";     \
    ASSERT_EQ(nStatus, 0) << "kdc.sh start failed";                                                    \
  } while (0)

class KerberosProviderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    START_KDC(m_kdc);
    m_registry.Rewrite(kHeader + m_kdc.Domain("KERB") + m_kdc.Domain("DOWN", false) +
                       m_kdc.Domain("ELSEWHERE", true, "OTHER.TEST"));
  }
  CMitKdc m_kdc;
  vlttest::ScopedRegistryFile m_registry{kHeader};
};

}  // namespace

TEST_F(KerberosProviderTest, SuccessThenTheNewPasswordWorks) {
  // The registry's KDC is used without any configuration file.
  setenv("KRB5_CONFIG", "/nonexistent/krb5.conf", 1);
  EXPECT_EQ(NetUserChangePassword(u"KERB", u"alice", u"Passw0rd!", u"Second-Pass-2"), 0u);
  EXPECT_EQ(NetUserChangePassword(u"kerb", u"alice", u"Passw0rd!", u"Third-Pass-3"),
            static_cast<DWORD>(ERROR_INVALID_PASSWORD));
  EXPECT_EQ(NetUserChangePassword(u"KERB", u"alice", u"Second-Pass-2", u"Third-Pass-3"), 0u);
}

TEST_F(KerberosProviderTest, RefusalsMapToStatuses) {
  EXPECT_EQ(NetUserChangePassword(u"KERB", u"alice", u"wrong", u"Second-Pass-2"),
            static_cast<DWORD>(ERROR_INVALID_PASSWORD));
  EXPECT_EQ(NetUserChangePassword(u"KERB", u"alice", u"Passw0rd!", u"Sh-1"), static_cast<DWORD>(NERR_PasswordTooShort));
  EXPECT_EQ(NetUserChangePassword(u"KERB", u"alice", u"Passw0rd!", u"alllowercase"),
            static_cast<DWORD>(NERR_PasswordTooShort))
      << "not enough character classes";
  EXPECT_EQ(NetUserChangePassword(u"KERB", u"alice", u"Passw0rd!", u"Passw0rd!"),
            static_cast<DWORD>(NERR_PasswordHistConflict));
  EXPECT_EQ(NetUserChangePassword(u"KERB", u"bob", u"Passw0rd!", u"Second-Pass-2"),
            static_cast<DWORD>(NERR_PasswordTooRecent));
  EXPECT_EQ(NetUserChangePassword(u"KERB", u"nobody", u"Passw0rd!", u"Second-Pass-2"),
            static_cast<DWORD>(NERR_UserNotFound));
  // A user name is one component: no other principal is reachable through it.
  EXPECT_EQ(NetUserChangePassword(u"KERB", u"admin/admin", u"adminsecret", u"Second-Pass-2"),
            static_cast<DWORD>(NERR_UserNotFound));
}

TEST_F(KerberosProviderTest, UnreachableKdcOrForeignRealmFails) {
  for (const char16_t* pwszDomain : {u"DOWN", u"ELSEWHERE"}) {
    NET_API_STATUS status = NetUserChangePassword(pwszDomain, u"alice", u"Passw0rd!", u"Second-Pass-2");
    EXPECT_NE(status, 0u);
    EXPECT_NE(status, static_cast<DWORD>(ERROR_INVALID_PASSWORD));
    EXPECT_TRUE(status < 2244 || status > 2246) << status;
  }
}

TEST_F(KerberosProviderTest, LockedPrincipalFails) {
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(NetUserChangePassword(u"KERB", u"dave", u"wrong", u"Second-Pass-2"),
              static_cast<DWORD>(ERROR_INVALID_PASSWORD));
  EXPECT_EQ(NetUserChangePassword(u"KERB", u"dave", u"Passw0rd!", u"Second-Pass-2"),
            static_cast<DWORD>(ERROR_ACCOUNT_LOCKED_OUT));
}

namespace {

class KerberosOverHttp : public HostWithExtension {
 protected:
  void SetUp() override {
    START_KDC(m_kdc);
    StartHost(m_kdc.Domain("KERB") + m_kdc.Domain("DOWN", false));
  }
  std::string Change(const std::string& domain, const std::string& user, const std::string& oldPassword,
                     const std::string& newPassword) {
    std::string body = "<?xml version=\"1.0\"?><AdminProtocol version=\"1.0\"><RequestChangePassword><UserName>" +
                       user + "</UserName><Domain type=\"NT\">" + domain + "</Domain><OldPassword>" + oldPassword +
                       "</OldPassword><NewPassword>" + newPassword +
                       "</NewPassword></RequestChangePassword></AdminProtocol>";
    std::string answer = Exchange(Post(body)).m_body;
    size_t at = answer.find("<ErrorId>");
    if (at == std::string::npos) return "";
    at += 9;
    return answer.substr(at, answer.find("</ErrorId>") - at);
  }
  CMitKdc m_kdc;
};

}  // namespace

TEST_F(KerberosOverHttp, ChangesAndRefusals) {
  EXPECT_EQ(Change("KERB", "alice", "wrong", "Second-Pass-2"), "old-password-invalid");
  EXPECT_EQ(Change("KERB", "alice", "Passw0rd!", "short"), "new-password-invalid");
  EXPECT_EQ(Change("KERB", "bob", "Passw0rd!", "Second-Pass-2"), "new-password-invalid");
  EXPECT_EQ(Change("KERB", "nobody", "Passw0rd!", "Second-Pass-2"), "operation-failed");
  EXPECT_EQ(Change("DOWN", "alice", "Passw0rd!", "Second-Pass-2"), "operation-failed");
  EXPECT_EQ(Change("KERB", "alice", "Passw0rd!", "Second-Pass-2"), "");
  EXPECT_EQ(Change("KERB", "alice", "Second-Pass-2", "Third-Pass-3"), "") << "the new password works";
}
