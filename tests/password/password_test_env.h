// Shared pieces of the password library's tests: registrations of the fake
// and the real translator, the fake's control block, and a record of every
// BSTR freed.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <mutex>
#include <string>
#include <vector>

#include "fake_isapi_host.h"
#include "fake_translator_control.h"
#include "platform/module.h"
#include "platform/oleauto.h"

namespace pwtest {

inline constexpr char kTranslatorKey[] =
    "[HKEY_CLASSES_ROOT\\CLSID\\{7C2E9A41-5D3B-4E8F-9A60-1B4C8D2E7F35}\\InprocServer32]\r\n";

// Registry text registering the translator class to a module.
inline std::string TranslatorServer(const std::string& module) {
  return std::string(kTranslatorKey) + "@=\"" + module + "\"\r\n";
}

inline std::string Registry(const std::string& more) {
  return vlttest::ScopedRegistryFile::WithInstallLocation(more);
}

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

// Every BSTR that SysFreeString frees while the recorder lives, as it was
// just before the free.
class CFreedStrings {
 public:
  CFreedStrings() { platform::SetSysFreeStringHookForTesting(&CFreedStrings::Record); }
  ~CFreedStrings() { platform::SetSysFreeStringHookForTesting(nullptr); }

  std::vector<std::u16string> Strings() const {
    std::lock_guard<std::mutex> lock(Mutex());
    return Freed();
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
    for (const std::u16string& s : Strings())
      if (s.size() == cw && s.find_first_not_of(u'\0') == std::u16string::npos) ++n;
    return n;
  }

 private:
  static std::mutex& Mutex() {
    static std::mutex s_mutex;
    return s_mutex;
  }
  static std::vector<std::u16string>& Freed() {
    static std::vector<std::u16string> s_freed;
    return s_freed;
  }
  static void Record(const OLECHAR* pch, UINT cb) {
    std::lock_guard<std::mutex> lock(Mutex());
    Freed().emplace_back(pch, cb / sizeof(OLECHAR));
  }
};

}  // namespace pwtest
