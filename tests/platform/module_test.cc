#include "platform/base/module.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <utility>

#include "platform/text/wstr.h"
#include "scratch_dir.h"

namespace {

std::string BuildBin() {
  const char* bin = std::getenv("VLT_BUILD_BIN");
  return bin != nullptr ? bin : std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

std::string FileNameOf(HMODULE module) {
  WCHAR path[MAX_PATH];
  DWORD cw = GetModuleFileNameW(module, path, MAX_PATH);
  EXPECT_GT(cw, 0u);
  EXPECT_LT(cw, static_cast<DWORD>(MAX_PATH));
  return platform::ToUtf8(std::u16string_view(path, cw));
}

using IntFunction = int (*)();

// Through void (*)(), the generic function pointer type, as compilers expect.
IntFunction Entry(HMODULE module, const char* name) {
  return reinterpret_cast<IntFunction>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST(ModuleTest, WindowsNamesMapToLibraryFiles) {
  for (const auto& [pszName, pszFile] : {std::pair{"vltadmin.dll", "libvltadmin.so"}, {"ACTIVEDS.DLL", "libactiveds.so"},
                                         {"NetWin32.Dll", "libnetwin32.so"}, {"netwin32", "libnetwin32.so"},
                                         {"libSample.so", "libSample.so"}, {"a.dll.txt", "liba.dll.txt.so"}})
    EXPECT_EQ(platform::ModuleFileName(pszName), pszFile);
}

TEST(ModuleTest, LoadsBesideThePlatformLibraryAndResolvesEntries) {
  unsetenv("VLTADMIN_MODULE_PATH");
  HMODULE module = LoadLibraryW(u"VltTestModule.DLL");
  ASSERT_NE(module, nullptr);
  IntFunction constructed = Entry(module, "VltTestModuleConstructed");
  IntFunction answer = Entry(module, "VltTestModuleAnswer");
  ASSERT_NE(constructed, nullptr);
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(constructed(), 1) << "load-time constructor ran";
  EXPECT_EQ(answer(), 42);

  EXPECT_EQ(GetProcAddress(module, "NoSuchEntry"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

  EXPECT_EQ(std::filesystem::path(FileNameOf(module)),
            std::filesystem::canonical(BuildBin() + "/libvlttestmodule.so"));
  EXPECT_EQ(platform::ModuleFromAddress(reinterpret_cast<const void*>(answer)), module);

  HMODULE again = LoadLibraryW(u"vlttestmodule");
  EXPECT_EQ(again, module);
  EXPECT_TRUE(FreeLibrary(again));
  EXPECT_EQ(answer(), 42) << "still loaded: one reference left";
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(ModuleTest, ModulePathDirectoriesComeFirstAndANamedDirectoryIsUsed) {
  vlttest::CScratchDir dir;
  std::filesystem::copy_file(BuildBin() + "/libvlttestmodule.so", dir.Path("libvlttestmodule.so"));
  setenv("VLTADMIN_MODULE_PATH", ("/nonexistent::" + dir.Path("")).c_str(), 1);
  HMODULE module = LoadLibraryW(u"vlttestmodule.dll");
  unsetenv("VLTADMIN_MODULE_PATH");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(std::filesystem::path(FileNameOf(module)),
            std::filesystem::canonical(dir.Path("libvlttestmodule.so")));
  FreeLibrary(module);

  // A file that is found but cannot be loaded ends the search.
  vlttest::CScratchDir broken;
  broken.Write("libvlttestmodule.so", "not a library");
  setenv("VLTADMIN_MODULE_PATH", broken.Path("").c_str(), 1);
  EXPECT_EQ(LoadLibraryW(u"vlttestmodule.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  unsetenv("VLTADMIN_MODULE_PATH");

  // A name with a directory loads from there.
  std::u16string path = platform::FromUtf8(BuildBin()) + u"\\VltTestModule.dll";
  module = LoadLibraryW(path.c_str());
  ASSERT_NE(module, nullptr);
  FreeLibrary(module);

  EXPECT_EQ(LoadLibraryW(u"/nonexistent/VltTestModule.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryW(u"NoSuchModule.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(ModuleTest, ProgramFileNameAndTruncation) {
  std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(FileNameOf(nullptr), exe);
  EXPECT_EQ(FileNameOf(platform::ModuleFromAddress(reinterpret_cast<const void*>(&BuildBin))), exe);

  WCHAR small[5];
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(small[4], 0);
  EXPECT_EQ(platform::ToUtf8(small), exe.substr(0, 4));
}

}  // namespace
