// The directory-services library in-process against the private slapd: how
// refusals are classified by the bad-password counts, the pool of bound
// service connections, and the name translator created through COM as the
// back end does.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "admin/password/ads/ads_steps.h"
#include "fake_ads_user.h"
#include "platform/activeds/adsi.h"
#include "platform/ldap/directory_connection.h"
#include "slapd_server.h"

namespace {

constexpr const char16_t* kCarolDn = u"uid=carol,ou=people,dc=example,dc=test";

// A slapd of the test's own, and the registry pointing at it.
class DirectoryLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_slapd.Started());
    m_registry.Use(m_slapd.Registry());
  }
  CSlapdServer m_slapd;
  vlttest::ScopedRegistryFile m_registry;
};

class PerformChange : public DirectoryLibrary {
 protected:
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
};

using LdapPoolTest = DirectoryLibrary;

class NameTranslate : public DirectoryLibrary {
 protected:
  void SetUp() override {
    DirectoryLibrary::SetUp();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IADsNameTranslate, reinterpret_cast<void**>(&m_pNto)),
              S_OK);
  }
  void TearDown() override {
    if (m_pNto != nullptr) m_pNto->Release();
    CoUninitialize();
  }

  // Calls Init or Set with a BSTR of the text.
  template <typename Method>
  HRESULT Call(Method pfn, LONG nType, const char16_t* pw) {
    BSTR bstr = SysAllocString(pw);
    HRESULT hr = (m_pNto->*pfn)(nType, bstr);
    SysFreeString(bstr);
    return hr;
  }
  HRESULT Init(LONG nType, const char16_t* pw) { return Call(&IADsNameTranslate::Init, nType, pw); }
  HRESULT Set(LONG nType, const char16_t* pw) { return Call(&IADsNameTranslate::Set, nType, pw); }

  std::u16string Get(LONG nType) {
    BSTR bstr = nullptr;
    if (FAILED(m_pNto->Get(nType, &bstr))) return u"(failed)";
    std::u16string s(bstr, SysStringLen(bstr));
    SysFreeString(bstr);
    return s;
  }

  IADsNameTranslate* m_pNto = nullptr;
};

// Connections of this machine to the port that are established (the
// tests' slapd serves this process only).
size_t EstablishedTo(unsigned short nPort) {
  std::ifstream in("/proc/net/tcp");
  size_t n = 0;
  char szPort[8];
  snprintf(szPort, sizeof szPort, ":%04X", nPort);
  for (std::string line; std::getline(in, line);) {
    // "sl local_address rem_address st ...": the remote port, then the state.
    size_t at = line.find(':', line.find(':', line.find(':') + 1) + 1);
    n += at != std::string::npos && line.compare(at, 5, szPort) == 0 && line.compare(at + 6, 2, "01") == 0;
  }
  return n;
}

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

// At most kMaxIdleConnections idle connections per identity, reused before
// any new one; a connection that lost its server takes the idle ones with it.
TEST_F(LdapPoolTest, IdleConnectionsAreBoundedReusedAndEvictedTogether) {
  using platform::kMaxIdleConnections;
  platform::CDirectorySettings settings;
  ASSERT_TRUE(platform::ReadDirectorySettings(&settings));
  std::vector<LDAP*> rgpld(kMaxIdleConnections + 2);
  for (LDAP*& pld : rgpld) ASSERT_EQ(platform::AcquireServiceConnection(settings, &pld), LDAP_SUCCESS);
  EXPECT_EQ(EstablishedTo(m_slapd.Port(0)), rgpld.size());
  for (LDAP* pld : rgpld) platform::ReturnServiceConnection(settings, pld, true);
  EXPECT_EQ(EstablishedTo(m_slapd.Port(0)), kMaxIdleConnections);
  // The idle ones come first: no new connection.
  for (size_t i = 0; i < kMaxIdleConnections; ++i)
    ASSERT_EQ(platform::AcquireServiceConnection(settings, &rgpld[i]), LDAP_SUCCESS);
  EXPECT_EQ(EstablishedTo(m_slapd.Port(0)), kMaxIdleConnections);
  for (size_t i = 0; i + 1 < kMaxIdleConnections; ++i) platform::ReturnServiceConnection(settings, rgpld[i], true);
  platform::ReturnServiceConnection(settings, rgpld[kMaxIdleConnections - 1], false);
  EXPECT_EQ(EstablishedTo(m_slapd.Port(0)), 0u);
}

TEST_F(NameTranslate, TranslatesBetweenPrincipalNt4AndDistinguishedNamesOfItsDomain) {
  // Unknown names and other domains fail.
  EXPECT_EQ(Init(ADS_NAME_INITTYPE_DOMAIN, u"other.test"), HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN));
  EXPECT_TRUE(FAILED(Set(ADS_NAME_TYPE_USER_PRINCIPAL_NAME, u"bob@example.test")));
  ASSERT_EQ(Init(ADS_NAME_INITTYPE_GC, u""), S_OK);
  EXPECT_TRUE(FAILED(Set(ADS_NAME_TYPE_USER_PRINCIPAL_NAME, u"nobody@example.test")));
  EXPECT_EQ(Get(ADS_NAME_TYPE_1779), u"(failed)");
  // Filter characters in a name are matched literally.
  EXPECT_TRUE(FAILED(Set(ADS_NAME_TYPE_USER_PRINCIPAL_NAME, u"bob@example.tes*")));
  EXPECT_TRUE(FAILED(Set(ADS_NAME_TYPE_NT4, u"OTHER\\bob")));
  EXPECT_TRUE(FAILED(Set(ADS_NAME_TYPE_1779, u"uid=nobody,ou=people,dc=example,dc=test")));

  ASSERT_EQ(Init(ADS_NAME_INITTYPE_DOMAIN, u"EXAMPLE.test"), S_OK);
  ASSERT_EQ(Set(ADS_NAME_TYPE_USER_PRINCIPAL_NAME, u"bob@example.test"), S_OK);
  EXPECT_EQ(Get(ADS_NAME_TYPE_1779), u"uid=bob,ou=people,dc=example,dc=test");
  EXPECT_EQ(Get(ADS_NAME_TYPE_NT4), u"EXAMPLE\\bob");
  ASSERT_EQ(Set(ADS_NAME_TYPE_NT4, u"example\\carol"), S_OK);
  EXPECT_EQ(Get(ADS_NAME_TYPE_USER_PRINCIPAL_NAME), u"carol@EXAMPLE.TEST");
  ASSERT_EQ(Set(ADS_NAME_TYPE_1779, u"uid=alice,ou=people,dc=example,dc=test"), S_OK);
  EXPECT_EQ(Get(ADS_NAME_TYPE_NT4), u"EXAMPLE\\alice");
}
