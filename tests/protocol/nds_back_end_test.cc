#include <stdlib.h>

#include <string>

#include "admin/password/nds/nds_password.h"
#include "own_process.h"
#include "platform/base/module.h"
#include "platform/text/wstr.h"
#include "gtest/gtest.h"

namespace {

std::string ModuleDir(const char* pszName) { return std::string(getenv("VLT_TEST_MODULES")) + "/" + pszName; }

typedef void (*PFN_CONFIGURE)(int32_t, int32_t, int32_t);
typedef const char* (*PFN_LAST_CALL)();

// The fake library, loaded by the same name the back end loads.
struct FakeNds {
  FakeNds() {
    hModule = LoadLibraryW(u"netwin32.dll");
    configure = reinterpret_cast<PFN_CONFIGURE>(GetProcAddress(hModule, "FakeNdsConfigure"));
    lastCall = reinterpret_cast<PFN_LAST_CALL>(GetProcAddress(hModule, "FakeNdsLastCall"));
  }
  ~FakeNds() { FreeLibrary(hModule); }
  HMODULE hModule;
  PFN_CONFIGURE configure;
  PFN_LAST_CALL lastCall;
};

std::u16string Answer(AdminError id) { return id == nullptr ? u"(none)" : id; }

}  // namespace

// A library that is absent and then installed: NdsChange, through HTTP.
TEST(NdsBackEndTest, LibraryWithoutEveryExportIsNeverUsed) {
  VLT_IN_OWN_PROCESS(
    setenv("VLTADMIN_MODULE_PATH", ModuleDir("nds-incomplete").c_str(), 1);
    EXPECT_EQ(Answer(ChangeNdsPassword("u", "T", "o", "n")), u"operation-failed");
    EXPECT_EQ(Answer(ChangeNdsPassword("u", "T", "o", "n")), u"operation-failed");
  );
}

TEST(NdsBackEndTest, ContextIsLoggedOutAndFreedOnEveryPath) {
  VLT_IN_OWN_PROCESS(
    setenv("VLTADMIN_MODULE_PATH", ModuleDir("nds").c_str(), 1);
    FakeNds fake;
    ASSERT_NE(fake.configure, nullptr);
    const struct {
      int32_t nSetContext, nLogin, nChange;
      const char16_t* pwszAnswer;
    } cases[] = {
        // The other codes meet the real library through HTTP (NdsChange);
        // these are one per path, and a refusal of the change itself.
        {0, 0, 0, u"(none)"},
        {-1, 0, 0, u"operation-failed"},
        {0, -669, 0, u"old-password-invalid"},
        {0, 0, -669, u"old-password-invalid"},
    };
    for (const auto& c : cases) {
      fake.configure(c.nSetContext, c.nLogin, c.nChange);
      EXPECT_EQ(Answer(ChangeNdsPassword("u", "T", "o", "n")), c.pwszAnswer)
          << c.nSetContext << " " << c.nLogin << " " << c.nChange;
      // The context is logged out and freed on every path.
      EXPECT_TRUE(std::string(fake.lastCall()).ends_with("|1|1"));
    }
  );
}
