// The name translator of the directory-services library, created through
// COM as the back end does, over a private slapd.
#include <gtest/gtest.h>

#include "platform/activeds/adsi.h"
#include "platform/text/wstr.h"
#include "slapd_server.h"

namespace {

class NameTranslate : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_slapd.Started());
    m_registry.Use(m_slapd.Registry());
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

  CSlapdServer m_slapd;
  vlttest::ScopedRegistryFile m_registry;
  IADsNameTranslate* m_pNto = nullptr;
};

}  // namespace

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
