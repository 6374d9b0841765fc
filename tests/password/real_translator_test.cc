// The shipped translator (vltpwtrans.dll): Unicode normal form per domain.
#include "admin/password/library/password_library.h"
#include "fake_ads_user.h"
#include "own_process.h"
#include "password_test_env.h"
#include "plugins/password_translator.h"

namespace {

using vlttest::RegistryText;
using vlttest::TranslatorServer;

constexpr char16_t kwszDecomposed[] = u"Caf\u0065\u0301-9";
constexpr char16_t kwszComposed[] = u"Caf\u00e9-9";
constexpr char16_t kwszLigature[] = u"\ufb01sh\u00b2";  // "ﬁsh²"

std::string FormKey(const std::string& sSubKey, const std::string& sForm) {
  return vlttest::VeltraKey("PasswordTranslator" + (sSubKey.empty() ? "" : "\\" + sSubKey),
                            vlttest::RegString("NormalForm", sForm));
}

class RealTranslatorTest : public ::testing::Test {
 protected:
  void SetUp() override { pwtest::UseTestModules(); }

  void Configure(const std::string& more) {
    registry.Use(TranslatorServer("vltpwtrans.dll") + more);
  }

  // The translation of a password for a domain; "(failed)" when there is none.
  static std::u16string Translate(LPCWSTR pwszDomain, LPCWSTR pwszPassword) {
    VARIANT var;
    VariantInit(&var);
    std::u16string sResult = u"(failed)";
    if (TranslatePassword(u"alice", pwszDomain, pwszPassword, &var)) sResult = var.bstrVal;
    VariantClear(&var);
    return sResult;
  }

  vlttest::ScopedRegistryFile registry{RegistryText(TranslatorServer("vltpwtrans.dll"))};
};

}  // namespace

TEST_F(RealTranslatorTest, NormalFormIsChosenPerDomain) {
  VLT_IN_OWN_PROCESS(
    CFakeAdsUser user;
    EXPECT_EQ(ChangeDirectoryPassword(&user, u"alice", kwszDecomposed, kwszDecomposed), S_OK);
    EXPECT_EQ(user.m_sOld + user.m_sNew, std::u16string(kwszComposed) + kwszComposed);
    EXPECT_EQ(CurrentTranslatorState(), eTranslatorAvailable);
    Configure(FormKey("Domains\\CORP", "none") + FormKey("Domains\\LAB", "nfkc") + FormKey("Directory", "NFKC"));
    EXPECT_EQ(Translate(u"CORP", kwszDecomposed), kwszDecomposed);
    EXPECT_EQ(Translate(u"LAB", kwszLigature), u"fish2");
    EXPECT_EQ(Translate(nullptr, kwszLigature), u"fish2");
    // Domains without a key of their own take the default, NFC.
    EXPECT_EQ(Translate(u"OTHER", kwszDecomposed), kwszComposed);
    EXPECT_EQ(Translate(u"OTHER", kwszLigature), kwszLigature);
    EXPECT_EQ(Translate(u"", kwszDecomposed), kwszComposed);

    Configure(FormKey("", "none") + FormKey("Domains\\LAB", "NFC"));
    EXPECT_EQ(Translate(u"OTHER", kwszDecomposed), kwszDecomposed);
    EXPECT_EQ(Translate(nullptr, kwszDecomposed), kwszDecomposed);
    EXPECT_EQ(Translate(u"LAB", kwszDecomposed), kwszComposed);
    EXPECT_EQ(Translate(u"lab", kwszDecomposed), kwszComposed);
  );
}

TEST_F(RealTranslatorTest, UnknownNormalFormFailsTheTranslation) {
  VLT_IN_OWN_PROCESS(
    Configure(FormKey("Domains\\CORP", "NFX"));
    EXPECT_EQ(Translate(u"CORP", kwszDecomposed), u"(failed)");
    EXPECT_EQ(CurrentTranslatorState(), eTranslatorUnavailable);
  );
}

TEST_F(RealTranslatorTest, ServesItsInterfaceThroughCom) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  IPasswordTranslator* pTranslator = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_PasswordTranslator, nullptr, kdwTranslatorClsContext, IID_IPasswordTranslator,
                             reinterpret_cast<void**>(&pTranslator)),
            S_OK);
  LONG nVersion = 0;
  EXPECT_EQ(pTranslator->get_Version(&nVersion), S_OK);
  EXPECT_EQ(nVersion, 1);
  BSTR bstrPassword = SysAllocString(kwszDecomposed);
  VARIANT var;
  VariantInit(&var);
  EXPECT_EQ(pTranslator->Translate(nullptr, nullptr, nullptr, &var), E_INVALIDARG);
  EXPECT_EQ(pTranslator->Translate(nullptr, nullptr, bstrPassword, nullptr), E_POINTER);
  EXPECT_EQ(var.vt, VT_EMPTY);
  ASSERT_EQ(pTranslator->Translate(nullptr, nullptr, bstrPassword, &var), S_OK);
  ASSERT_EQ(var.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(var.bstrVal), 6u);
  EXPECT_EQ(std::u16string(var.bstrVal), kwszComposed);
  VariantClear(&var);
  SysFreeString(bstrPassword);
  IUnknown* pUnknown = nullptr;
  EXPECT_EQ(pTranslator->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&pUnknown)), S_OK);
  pUnknown->Release();
  EXPECT_EQ(pTranslator->Release(), 0u);
  CoUninitialize();
}
