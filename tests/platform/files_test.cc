#include "platform/files/files.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/base/sync.h"
#include "platform/text/wstr.h"
#include "scratch_dir.h"

extern char** environ;

namespace {

// When started by CommandLineJoinsAndQuotesArguments, the program writes
// its command line to the named file and ends before any test runs.
[[maybe_unused]] const bool ms_fPrintedCommandLine = [] {
  const char* out = std::getenv("VLT_TEST_PRINT_COMMAND_LINE");
  if (out == nullptr) return false;
  std::ofstream(out) << platform::ToUtf8(GetCommandLineW());
  _exit(0);
}();

std::u16string W(const std::string& s) { return platform::FromUtf8(s); }

// The system opens existing files for reading (the alias file, the trace
// device); a backslash in the path separates as on Windows.
TEST(FilesTest, OpenExistingWithWindowsErrors) {
  vlttest::CScratchDir dir;
  std::filesystem::create_directory(dir.Path("sub"));
  dir.Write("sub/data.bin", "hello");
  HANDLE file = CreateFileW((W(dir.Path("sub")) + u"\\data.bin").c_str(), GENERIC_READ,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(file, nullptr), 5u);
  CloseHandle(file);

  const struct {
    const char* pszName;
    DWORD dwError;
  } failures[] = {{"missing", ERROR_FILE_NOT_FOUND},
                  {"nodir/x", ERROR_PATH_NOT_FOUND},
                  {"sub", ERROR_ACCESS_DENIED}};  // a directory
  for (const auto& f : failures) {
    EXPECT_EQ(CreateFileW(W(dir.Path(f.pszName)).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                          0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), f.dwError) << f.pszName;
  }
}

TEST(FilesTest, MappingOutlivesItsHandles) {
  vlttest::CScratchDir dir;
  std::string text(70000, 'x');
  text.replace(0, 5, "alias");
  dir.Write("alias.txt", text);
  dir.Write("empty.txt", "");

  HANDLE file = CreateFileW(W(dir.Path("alias.txt")).c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  CloseHandle(file);
  auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  CloseHandle(mapping);
  EXPECT_EQ(std::string(view, text.size()), text);

  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_FALSE(UnmapViewOfFile(view)) << "already unmapped";

  file = CreateFileW(W(dir.Path("empty.txt")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                     nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), 1006u);
  CloseHandle(file);
}

TEST(FilesTest, CopyReplacesWholeOrFailsCleanly) {
  vlttest::CScratchDir dir;
  dir.Write("source.bin", "new contents");
  chmod(dir.Path("source.bin").c_str(), 0750);
  dir.Write("target.bin", "old");
  std::u16string source = W(dir.Path("source.bin"));
  std::u16string target = W(dir.Path("target.bin"));

  EXPECT_FALSE(CopyFileW(source.c_str(), target.c_str(), TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(vlttest::ReadFile(dir.Path("target.bin")), "old");

  ASSERT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE));
  EXPECT_EQ(vlttest::ReadFile(dir.Path("target.bin")), "new contents");
  struct stat st;
  ASSERT_EQ(stat(dir.Path("target.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);

  EXPECT_TRUE(CopyFileW(source.c_str(), W(dir.Path("fresh.bin")).c_str(), TRUE));
  EXPECT_FALSE(CopyFileW(W(dir.Path("absent.bin")).c_str(), target.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(CopyFileW(source.c_str(), W(dir.Path("nodir/x.bin")).c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Dir()), {}), 3) << "no temporary file left behind";
}

TEST(FilesTest, FindFirstFileChecksExistenceAndMatchesWildcards) {
  vlttest::CScratchDir dir;
  dir.Write("libhqsrv.so", "12345");
  WIN32_FIND_DATAW data;
  // A module's file name is the one the module rule gives.
  HANDLE find = FindFirstFileW((W(dir.Path("")) + u"HQSRV.dll").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::u16string(data.cFileName), u"libhqsrv.so");
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(FindClose(find));

  EXPECT_EQ(FindFirstFileW(W(dir.Path("absent.dll")).c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileW(W(dir.Path("nodir/x.dll")).c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  find = FindFirstFileW(W(dir.Path("LIBHQ?RV.*")).c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::u16string(data.cFileName), u"libhqsrv.so");
  FindClose(find);
  EXPECT_EQ(FindFirstFileW(W(dir.Path("*.exe")).c_str(), &data), INVALID_HANDLE_VALUE);
}

TEST(FilesTest, CommandLineJoinsAndQuotesArguments) {
  vlttest::CScratchDir dir;
  std::string out = dir.Path("line.txt");
  std::string variable = "VLT_TEST_PRINT_COMMAND_LINE=" + out;
  std::vector<char*> env;
  for (char** p = environ; *p != nullptr; ++p) env.push_back(*p);
  env.push_back(variable.data());
  env.push_back(nullptr);
  const char* argv[] = {"prog", "IIS_SCRIPTS_DIR=/srv/scripts", "with space", "", "tab\there",
                        nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, const_cast<char**>(argv),
                        env.data()),
            0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(vlttest::ReadFile(out), "prog IIS_SCRIPTS_DIR=/srv/scripts \"with space\" \"\" \"tab\there\"");
}

}  // namespace
