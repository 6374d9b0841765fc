// Shared pieces of the password library's tests: the fake translator and
// its control block, and a record of every BSTR freed.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <mutex>
#include <string>
#include <vector>

#include "fake_isapi_host.h"
#include "fake_translator_control.h"
#include "platform/base/module.h"
#include "platform/com/oleauto.h"

namespace pwtest {

// The fake translator's module directory comes first in the module search.
inline void UseTestModules() {
  setenv("VLTADMIN_MODULE_PATH", (std::string(getenv("VLT_TEST_MODULES")) + "/password").c_str(), 1);
}

// The fake's control block (the module stays loaded for the process).
inline FakeTranslatorControl* FakeControl() {
  HMODULE hModule = LoadLibraryW(u"fakepwtrans.dll");
  if (hModule == nullptr) return nullptr;
  auto pfn = reinterpret_cast<PFN_FAKE_TRANSLATOR>(GetProcAddress(hModule, "FakeTranslator"));
  return pfn != nullptr ? pfn() : nullptr;
}

inline constexpr char16_t kwszOld[] = u"Old-S3cret";
inline constexpr char16_t kwszNew[] = u"New-S3cret";

// The fake translator registered and its control block at hand.
class FakeTranslatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseTestModules();
    m_pControl = FakeControl();
    ASSERT_NE(m_pControl, nullptr);
  }
  vlttest::ScopedRegistryFile registry{vlttest::RegistryText(vlttest::TranslatorServer("fakepwtrans.dll"))};
  FakeTranslatorControl* m_pControl = nullptr;
};

// Every BSTR that SysFreeString frees while the recorder lives, as it was
// just before the free.
class CFreedStrings {
 public:
  CFreedStrings() {
    ms_freed.clear();
    platform::SetSysFreeStringHookForTesting(&CFreedStrings::Record);
  }
  ~CFreedStrings() { platform::SetSysFreeStringHookForTesting(nullptr); }

  std::vector<std::u16string> Strings() const {
    std::lock_guard<std::mutex> lock(ms_mutex);
    return ms_freed;
  }
  // True when a freed string contains sText.
  bool AnyContains(const std::u16string& sText) const {
    for (const std::u16string& s : Strings())
      if (s.find(sText) != std::u16string::npos) return true;
    return false;
  }
  // The number of freed strings of cw units that held only zeros.
  int ZeroedOfLength(size_t cw) const {
    int n = 0;
    for (const std::u16string& s : Strings()) n += s.size() == cw && s.find_first_not_of(u'\0') == std::u16string::npos;
    return n;
  }

 private:
  static void Record(const OLECHAR* pch, UINT cb) {
    std::lock_guard<std::mutex> lock(ms_mutex);
    ms_freed.emplace_back(pch, cb / sizeof(OLECHAR));
  }
  static inline std::mutex ms_mutex;
  static inline std::vector<std::u16string> ms_freed;
};

}  // namespace pwtest
