// The COM runtime of the platform layer: apartments, activation of
// registered in-process servers, BSTR and VARIANT.
#include <cstring>
#include <thread>

#include "password_test_env.h"
#include "platform/com/com.h"
#include "plugins/password_translator.h"

namespace {

using vlttest::RegistryText;
using vlttest::TranslatorServer;

// {01234567-89AB-CDEF-0123-456789ABCDEF}: an interface no server offers.
constexpr IID kiidNobody = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

class ComActivationTest : public pwtest::FakeTranslatorTest {
 protected:
  void SetUp() override {
    FakeTranslatorTest::SetUp();
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  }
  void TearDown() override { CoUninitialize(); }

  static HRESULT Create(REFIID riid, void** ppv, IUnknown* pOuter = nullptr, DWORD dwContext = 0x17) {
    *ppv = reinterpret_cast<void*>(1);  // must be reset on failure
    return CoCreateInstance(CLSID_PasswordTranslator, pOuter, dwContext, riid, ppv);
  }
  // The failure of a creation, which must leave the object pointer null.
  static HRESULT Failure(REFIID riid, IUnknown* pOuter = nullptr, DWORD dwContext = 0x17) {
    void* pv = nullptr;
    HRESULT hr = Create(riid, &pv, pOuter, dwContext);
    EXPECT_EQ(pv, nullptr);
    return hr;
  }
};

class CCountedUnknown final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_nRefs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_nRefs; }
  ULONG m_nRefs = 1;
};

}  // namespace

TEST(ComApartmentTest, CountsCallsPerThreadAndRefusesTheOtherModel) {
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  EXPECT_EQ(platform::ComApartmentDepth(), 2);
  std::thread([] {
    EXPECT_EQ(platform::ComApartmentDepth(), 0);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
  }).join();
  CoUninitialize();
  CoUninitialize();
  CoUninitialize();  // unmatched: nothing
  EXPECT_EQ(platform::ComApartmentDepth(), 0);
  // Outside an apartment nothing can be created.
  pwtest::UseTestModules();
  vlttest::ScopedRegistryFile registry{RegistryText(TranslatorServer("fakepwtrans.dll"))};
  void* pv = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_PasswordTranslator, nullptr, 0x17, IID_IUnknown, &pv), CO_E_NOTINITIALIZED);
  EXPECT_EQ(pv, nullptr);
}

TEST_F(ComActivationTest, CreatesARegisteredServerUnderEitherClassesKeyOrFailsAsWindowsDoes) {
  IUnknown* pUnknown = nullptr;
  ASSERT_EQ(Create(IID_IUnknown, reinterpret_cast<void**>(&pUnknown)), S_OK);
  EXPECT_EQ(OleRun(pUnknown), S_OK);
  IPasswordTranslator* pTranslator = nullptr;
  ASSERT_EQ(pUnknown->QueryInterface(IID_IPasswordTranslator, reinterpret_cast<void**>(&pTranslator)), S_OK);
  pTranslator->Release();
  pUnknown->Release();
  EXPECT_EQ(m_pControl->nGetClassObject, 1);
  registry.Use(vlttest::RegKey(
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{7c2e9a41-5d3b-4e8f-9a60-1b4c8d2e7f35}\\InprocServer32",
      vlttest::RegString("@", "fakepwtrans.dll")));
  ASSERT_EQ(Create(IID_IUnknown, reinterpret_cast<void**>(&pUnknown)), S_OK);
  pUnknown->Release();

  // Failures are reported as Windows does.
  EXPECT_EQ(Failure(kiidNobody), E_NOINTERFACE);
  CCountedUnknown outer;
  int nBefore = m_pControl->nGetClassObject;
  EXPECT_EQ(Failure(IID_IUnknown, &outer), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(m_pControl->nGetClassObject, nBefore);
  EXPECT_EQ(outer.m_nRefs, 1u);
  EXPECT_EQ(Failure(IID_IUnknown, nullptr, CLSCTX_LOCAL_SERVER), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_PasswordTranslator, nullptr, 0x17, IID_IUnknown, nullptr), E_POINTER);

  const struct {
    std::string registration;
    HRESULT hr;
  } cases[] = {
      {"", REGDB_E_CLASSNOTREG},
      {TranslatorServer(""), REGDB_E_CLASSNOTREG},
      {TranslatorServer("nosuchtranslator.dll"), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
      {TranslatorServer("vlttestmodule.dll"), CO_E_ERRORINDLL},  // loads, but is no in-process server
  };
  for (const auto& c : cases) {
    registry.Use(c.registration);
    EXPECT_EQ(Failure(IID_IUnknown), c.hr) << c.registration;
  }
}

TEST(GuidTextTest, RoundTripsAndRefusesOtherForms) {
  WCHAR wsz[39];
  ASSERT_EQ(StringFromGUID2(CLSID_PasswordTranslator, wsz, 39), 39);
  EXPECT_EQ(std::u16string(wsz), u"{7C2E9A41-5D3B-4E8F-9A60-1B4C8D2E7F35}");
  EXPECT_EQ(StringFromGUID2(CLSID_PasswordTranslator, wsz, 38), 0);
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromString(u"{3f8a1d62-9c47-4b25-8e1d-6a0b5c9f2e84}", &clsid), S_OK);
  EXPECT_TRUE(clsid == IID_IPasswordTranslator);
  for (const char16_t* pw : {u"3F8A1D62-9C47-4B25-8E1D-6A0B5C9F2E84", u"{3F8A1D62-9C47-4B25-8E1D-6A0B5C9F2E8}",
                             u"{3F8A1D62-9C47-4B25-8E1D-6A0B5C9F2E84}x", u"{3F8A1D62+9C47-4B25-8E1D-6A0B5C9F2E84}",
                             u"{3G8A1D62-9C47-4B25-8E1D-6A0B5C9F2E84}", u""})
    EXPECT_EQ(CLSIDFromString(pw, &clsid), CO_E_CLASSSTRING) << std::string(pw, pw + std::u16string(pw).size());
}

TEST(BstrTest, ByteCountPrecedesTerminatedText) {
  BSTR bstr = SysAllocString(u"p\u00e9");
  ASSERT_NE(bstr, nullptr);
  uint32_t cb = 0;
  std::memcpy(&cb, reinterpret_cast<const char*>(bstr) - 4, 4);
  EXPECT_EQ(cb, 4u);
  EXPECT_EQ(SysStringLen(bstr), 2u);
  EXPECT_EQ(SysStringByteLen(bstr), 4u);
  EXPECT_EQ(bstr[2], 0);
  SysFreeString(bstr);

  // Embedded zeros count; a null source gives zeros.
  bstr = SysAllocStringLen(u"a\0b", 3);
  EXPECT_EQ(SysStringLen(bstr), 3u);
  EXPECT_EQ(bstr[2], u'b');
  SysFreeString(bstr);
  bstr = SysAllocStringLen(nullptr, 2);
  EXPECT_EQ(bstr[0] | bstr[1] | bstr[2], 0);
  SysFreeString(bstr);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  bstr = SysAllocString(u"");
  ASSERT_NE(bstr, nullptr);
  EXPECT_EQ(SysStringLen(bstr), 0u);
  SysFreeString(bstr);
}

TEST(VariantTest, ClearFreesStringsAndReleasesInterfaces) {
  pwtest::CFreedStrings freed;
  VARIANT var;
  VariantInit(&var);
  EXPECT_EQ(var.vt, VT_EMPTY);
  EXPECT_EQ(VariantClear(&var), S_OK);

  var.vt = VT_BSTR;
  var.bstrVal = SysAllocString(u"held");
  EXPECT_EQ(VariantClear(&var), S_OK);
  EXPECT_EQ(var.vt, VT_EMPTY);
  EXPECT_EQ(freed.Strings(), std::vector<std::u16string>{u"held"});

  CCountedUnknown object;
  object.AddRef();
  var.vt = VT_UNKNOWN;
  var.punkVal = &object;
  EXPECT_EQ(VariantClear(&var), S_OK);
  EXPECT_EQ(object.m_nRefs, 1u);
  object.AddRef();
  var.vt = VT_DISPATCH;
  var.pdispVal = reinterpret_cast<IDispatch*>(static_cast<IUnknown*>(&object));
  EXPECT_EQ(VariantClear(&var), S_OK);
  EXPECT_EQ(object.m_nRefs, 1u);

  // A reference is not the VARIANT's to free.
  BSTR bstr = SysAllocString(u"kept");
  var.vt = VT_BYREF | VT_BSTR;
  var.byref = &bstr;
  EXPECT_EQ(VariantClear(&var), S_OK);
  EXPECT_EQ(freed.Strings().size(), 1u);
  SysFreeString(bstr);
}
