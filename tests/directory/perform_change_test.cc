// How refusals are classified, with the bad-password counts read from a
// private slapd: a user object whose change answers a chosen status and,
// for some cases, raises the user's count meanwhile.
#include <gtest/gtest.h>

#include <cstdlib>

#include "admin/password/ads/ads_steps.h"
#include "fake_ads_user.h"
#include "slapd_server.h"

namespace {

constexpr const char16_t* kCarolDn = u"uid=carol,ou=people,dc=example,dc=test";

class PerformChange : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_slapd.Started());
    m_registry.Use(m_slapd.Registry());
  }

  // Sets carol's bad-password count; true on success.
  bool SetCount(int nCount) const {
    return std::system(("printf 'dn: uid=carol,ou=people,dc=example,dc=test\\nchangetype: modify\\nreplace: "
                        "badPwdCount\\nbadPwdCount: " + std::to_string(nCount) + "\\n' | ldapmodify -x -H " +
                        m_slapd.Uri() + " -D cn=admin,dc=example,dc=test -w rootsecret >/dev/null").c_str()) == 0;
  }

  // The answer for a change that returns hr, raising carol's count to
  // nCountAfter meanwhile unless it is 0.
  AdminError Perform(HRESULT hr, int nCountAfter = 0, LPCWSTR pwszDn = kCarolDn) {
    CFakeAdsUser user(hr, [&] {
      if (nCountAfter != 0) SetCount(nCountAfter);
    });
    return performChange(&user, u"carol@example.test", pwszDn, u"old", u"new");
  }

  CSlapdServer m_slapd;
  vlttest::ScopedRegistryFile m_registry;
};

}  // namespace

TEST_F(PerformChange, RefusalsAreClassifiedByCodeAndBadPasswordCount) {
  ASSERT_TRUE(SetCount(2));
  EXPECT_EQ(getBadPwdCount(kCarolDn), 2);
  EXPECT_EQ(Perform(HRESULT_FROM_WIN32(8239), 3), ERR_ID_OLD_PASSWORD_INVALID);
  EXPECT_EQ(Perform(HRESULT_FROM_WIN32(8239)), ERR_ID_NEW_PASSWORD_INVALID);
  // Code 86 takes the path of the counts whatever its facility.
  EXPECT_EQ(Perform(static_cast<HRESULT>(0x80040056u), 4), ERR_ID_OLD_PASSWORD_INVALID);
  // No count after the refusal: nothing can be concluded.
  EXPECT_EQ(Perform(HRESULT_FROM_WIN32(86), 0, u"uid=nobody,ou=people,dc=example,dc=test"), ERR_ID_OPERATION_FAILED);
  // alice's entry holds no badPwdCount value; nobody has no entry.
  EXPECT_EQ(getBadPwdCount(u"uid=alice,ou=people,dc=example,dc=test"), 0);
  EXPECT_EQ(getBadPwdCount(u"uid=nobody,ou=people,dc=example,dc=test"), -1);
  // Other codes answer by their low 16 bits.
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
