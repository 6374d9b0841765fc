#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/com/com.h"
#include "protocol_test_env.h"

namespace {

class DirectoryServicesTest : public ProtocolTest {
 protected:
  void Version(const std::string& version, DWORD dwExpose = 0) {
    using namespace vlttest;
    registry.Use(AdsiVersion(version) +
                 RegKey("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Veltra\\XMLService",
                        RegDword("ExposeAccessLists", dwExpose)));
  }
};

}  // namespace

TEST(AdsiVersionTest, ComparedComponentByComponent) {
  for (const char16_t* pw : {u"2,5,0,0", u"6,0,0,0", u" 2,6,0"}) EXPECT_TRUE(IsAdsiVersionRecentEnough(pw));
  for (const char16_t* pw : {u"2,4,9,9", u"2,0,0,0", u"1,9,9,9", u"2,5", u""}) EXPECT_FALSE(IsAdsiVersionRecentEnough(pw));
}

TEST_F(DirectoryServicesTest, RecentLibraryIsLoadedPerRequestWithComInitialised) {
  setenv("VLTADMIN_MODULE_PATH", (std::string(getenv("VLT_TEST_MODULES")) + "/adsi").c_str(), 1);
  ConnectionOutput output;
  Version("2,5,0,0");
  {
    TestRequest handler(&output);
    EXPECT_NE(handler.AdsiModule(), nullptr);
    EXPECT_NE(handler.AdsiEntries().pfnADsGetObject, nullptr);
    EXPECT_EQ(platform::ComApartmentDepth(), 1);
    EXPECT_TRUE(handler.AccessListsHidden());
  }
  EXPECT_EQ(platform::ComApartmentDepth(), 0);
  Version("2,4,9,9", 1);
  {
    TestRequest handler(&output);
    EXPECT_EQ(handler.AdsiModule(), nullptr);
    EXPECT_EQ(platform::ComApartmentDepth(), 0);
    EXPECT_FALSE(handler.AccessListsHidden());
  }
}

TEST_F(DirectoryServicesTest, UnloadableLibraryLeavesItUnloaded) {
  // The build's own libactiveds.so lies beside the platform library; a file
  // of that name that is no library, found first, stands for a server where
  // the directory client cannot be loaded.
  std::string dir = registry.Directory() + "/broken-adsi";
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/libactiveds.so") << "not a library";
  setenv("VLTADMIN_MODULE_PATH", dir.c_str(), 1);
  Version("6,0,0,0");
  ConnectionOutput output;
  TestRequest handler(&output);
  EXPECT_EQ(handler.AdsiModule(), nullptr);
  EXPECT_EQ(platform::ComApartmentDepth(), 0);
}
