// How refusals are classified, with the bad-password counts read from a
// private slapd: a user object whose change answers a chosen status and,
// for some cases, raises the user's count meanwhile.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "admin/password/ads_steps.h"
#include "fake_isapi_host.h"
#include "stub_ads_user.h"
#include "slapd_server.h"

namespace {

constexpr const char16_t* kCarolDn = u"uid=carol,ou=people,dc=example,dc=test";

class CScriptedUser : public CStubAdsUser {
 public:
  CScriptedUser(HRESULT hr, std::string sAfterChange) : m_hr(hr), m_sAfterChange(std::move(sAfterChange)) {}
  HRESULT STDMETHODCALLTYPE ChangePassword(BSTR, BSTR) override {
    if (!m_sAfterChange.empty()) std::system(m_sAfterChange.c_str());
    return m_hr;
  }

 private:
  HRESULT m_hr;
  std::string m_sAfterChange;
};

class PerformChange : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_slapd.Started());
    std::string sSecret = m_slapd.Directory() + "/bind.secret";
    std::ofstream(sSecret) << "rootsecret\n";
    chmod(sSecret.c_str(), 0600);
    m_registry.Rewrite(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Directory Services]\r\n"
        "\"DomainName\"=\"example.test\"\r\n\"Servers\"=\"" + m_slapd.Uri() + "\"\r\n"
        "\"BindDN\"=\"cn=admin,dc=example,dc=test\"\r\n\"BindPasswordFile\"=\"" + sSecret + "\"\r\n"
        "\"AllowPlainLoopback\"=dword:00000001\r\n");
  }

  // A shell command that sets carol's bad-password count.
  std::string SetCount(int nCount) const {
    return "printf 'dn: uid=carol,ou=people,dc=example,dc=test\\nchangetype: modify\\nreplace: "
           "badPwdCount\\nbadPwdCount: " + std::to_string(nCount) + "\\n' | ldapmodify -x -H " +
           m_slapd.Uri() + " -D cn=admin,dc=example,dc=test -w rootsecret >/dev/null";
  }

  AdminError Perform(HRESULT hr, const std::string& sAfterChange = "", LPCWSTR pwszDn = kCarolDn) {
    CScriptedUser user(hr, sAfterChange);
    return performChange(&user, u"carol@example.test", pwszDn, u"old", u"new");
  }

  CSlapdServer m_slapd;
  vlttest::ScopedRegistryFile m_registry{"Windows Registry Editor Version 5.00\r\n"};
};

}  // namespace

TEST_F(PerformChange, BadPasswordCountsDecideAmbiguousRefusals) {
  ASSERT_EQ(std::system(SetCount(2).c_str()), 0);
  EXPECT_EQ(getBadPwdCount(kCarolDn), 2);
  EXPECT_EQ(Perform(HRESULT_FROM_WIN32(8239), SetCount(3)), ERR_ID_OLD_PASSWORD_INVALID);
  EXPECT_EQ(Perform(HRESULT_FROM_WIN32(8239)), ERR_ID_NEW_PASSWORD_INVALID);
  // Code 86 takes the path of the counts whatever its facility.
  EXPECT_EQ(Perform(static_cast<HRESULT>(0x80040056u), SetCount(4)), ERR_ID_OLD_PASSWORD_INVALID);
  // No count after the refusal: nothing can be concluded.
  EXPECT_EQ(Perform(HRESULT_FROM_WIN32(86), "", u"uid=nobody,ou=people,dc=example,dc=test"),
            ERR_ID_OPERATION_FAILED);
}

TEST_F(PerformChange, CodesAnswerByTheirLow16Bits) {
  EXPECT_EQ(Perform(S_OK), nullptr);
  EXPECT_EQ(Perform(S_FALSE), nullptr);
  EXPECT_EQ(Perform(HRESULT_FROM_WIN32(2245)), ERR_ID_NEW_PASSWORD_INVALID);
  EXPECT_EQ(Perform(static_cast<HRESULT>(0x800408C4u)), ERR_ID_NEW_PASSWORD_INVALID);  // 2244
  EXPECT_EQ(Perform(HRESULT_FROM_WIN32(2246)), ERR_ID_NEW_PASSWORD_INVALID);
  EXPECT_EQ(Perform(HRESULT_FROM_WIN32(2203)), ERR_ID_OLD_PASSWORD_INVALID);
  EXPECT_EQ(Perform(HRESULT_FROM_WIN32(2242)), ERR_ID_OLD_PASSWORD_INVALID);
  EXPECT_EQ(Perform(HRESULT_FROM_WIN32(1909)), ERR_ID_OPERATION_FAILED);
  EXPECT_EQ(Perform(E_FAIL), ERR_ID_OPERATION_FAILED);
}

TEST_F(PerformChange, UserWithoutACountHasZero) {
  // alice's entry holds no badPwdCount value.
  EXPECT_EQ(getBadPwdCount(u"uid=alice,ou=people,dc=example,dc=test"), 0);
  EXPECT_EQ(getBadPwdCount(u"uid=nobody,ou=people,dc=example,dc=test"), -1);
}
