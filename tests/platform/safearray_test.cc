// Safe arrays and the string arrays the directory-services library builds.
#include <gtest/gtest.h>

#include "platform/com/com.h"
#include "platform/base/module.h"
#include "platform/text/wstr.h"

namespace {

typedef HRESULT (*PFN_BUILD)(LPWSTR*, DWORD, VARIANT*);

TEST(SafeArrayTest, ElementsAreCopiesAndGoWithTheArray) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 1, 2);
  ASSERT_NE(psa, nullptr);
  LONG nLow = 0, nHigh = 0;
  EXPECT_EQ(SafeArrayGetLBound(psa, 1, &nLow), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(psa, 1, &nHigh), S_OK);
  EXPECT_EQ(nLow, 1);
  EXPECT_EQ(nHigh, 2);
  BSTR bstr = SysAllocString(u"primaryGroupToken");
  LONG nIndex = 2;
  ASSERT_EQ(SafeArrayPutElement(psa, &nIndex, bstr), S_OK);
  SysFreeString(bstr);  // the array holds its own copy
  ASSERT_EQ(SafeArrayPutElement(psa, &nIndex, nullptr), S_OK);  // frees the copy
  LONG nOutside = 3;
  EXPECT_EQ(SafeArrayPutElement(psa, &nOutside, nullptr), DISP_E_BADINDEX);
  nOutside = 0;
  BSTR bstrOut = nullptr;
  EXPECT_EQ(SafeArrayGetElement(psa, &nOutside, &bstrOut), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayCreateVector(VT_I4, 0, 1), nullptr);

  VARIANT v;
  v.vt = VT_ARRAY | VT_BSTR;
  v.parray = psa;
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
  EXPECT_NE(copy.parray, psa);
  EXPECT_EQ(VariantClear(&v), S_OK);  // the original goes, the copy stays whole
  EXPECT_EQ(VariantClear(&copy), S_OK);
  EXPECT_EQ(copy.vt, VT_EMPTY);
}

TEST(SafeArrayTest, DirectoryLibraryBuildsAVariantArrayOfStrings) {
  HMODULE hModule = LoadLibraryW(u"ACTIVEDS.DLL");
  ASSERT_NE(hModule, nullptr);
  auto pfnBuild = reinterpret_cast<PFN_BUILD>(GetProcAddress(hModule, "ADsBuildVarArrayStr"));
  ASSERT_NE(pfnBuild, nullptr);
  WCHAR szFirst[] = u"primaryGroupToken";
  WCHAR szSecond[] = u"member";
  LPWSTR rgpsz[] = {szFirst, szSecond};
  VARIANT v;
  ASSERT_EQ(pfnBuild(rgpsz, 2, &v), S_OK);
  ASSERT_EQ(v.vt, VT_ARRAY | VT_VARIANT);
  for (LONG i = 0; i < 2; ++i) {
    VARIANT element;
    VariantInit(&element);
    ASSERT_EQ(SafeArrayGetElement(v.parray, &i, &element), S_OK);
    ASSERT_EQ(element.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(element.bstrVal), std::u16string(rgpsz[i]));
    VariantClear(&element);
  }
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(pfnBuild(nullptr, 1, &v), E_INVALIDARG);
  ASSERT_EQ(pfnBuild(nullptr, 0, &v), S_OK);
  EXPECT_EQ(v.parray->rgsabound[0].cElements, 0u);
  VariantClear(&v);
  FreeLibrary(hModule);
}

}  // namespace
