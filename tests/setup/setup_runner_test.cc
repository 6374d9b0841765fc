// ConfigureIIS and UnconfigureIIS run by vltadmin-setup in processes of
// their own, each against a throw-away tree: exit codes, what changed on
// disk and in the metabase, and the trace records they wrote.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "setup_tree.h"
#include "trace_capture.h"

namespace {

using setuptest::CSetupTree;
using setuptest::CTreeOptions;

constexpr char kSetupMessages[] = "{38fc7ad8-7a9a-42db-bd21-5022721fe063}";
const std::string kLongDir = "/tmp/" + std::string(256, 'd');

struct CRunCase {
  const char* pszName;
  CTreeOptions tree;
  std::vector<std::string> args;  // "@D" stands for the scripts directory
  bool fInstalledBefore;          // a copy and the application exist already
  const char* pszMetabase;        // replaces the metabase when not null
  int nExit;
  std::vector<unsigned> rgnTraces;
  bool fCopyAfter;
  bool fApplicationAfter;
};

CTreeOptions Tree(void (*edit)(CTreeOptions&)) {
  CTreeOptions o;
  edit(o);
  return o;
}

const CRunCase kCases[] = {
    {"SettingAtTheEndOfTheCommandLine", {}, {"configure", "IIS_SCRIPTS_DIR=@D"}, false, nullptr, 0,
     {10, 15, 16}, true, true},
    {"EmptySettingReadsTheRegistryUpToTheFirstComma",
     Tree([](CTreeOptions& o) { o.scriptsValue = "\"@LOCATION@/scripts,,,205\""; }),
     {"configure", "IIS_SCRIPTS_DIR="}, false, nullptr, 0, {10, 21, 25, 15, 16}, true, true},
    {"ValueWithoutComma", Tree([](CTreeOptions& o) { o.scriptsValue = "\"@LOCATION@/scripts\""; }),
     {"configure"}, false, nullptr, 1, {10, 21, 24}, false, false},
    {"ValueNotAString", Tree([](CTreeOptions& o) { o.scriptsValue = "dword:00000001"; }),
     {"configure"}, false, nullptr, 1, {10, 21, 23}, false, false},
    {"NoVirtualRootsKey", Tree([](CTreeOptions& o) { o.fVirtualRoots = false; }), {"unconfigure"},
     true, nullptr, 1, {17, 21, 22}, true, true},
    {"SettingLongerThan260Characters", {}, {"configure", "IIS_SCRIPTS_DIR=" + kLongDir}, false,
     nullptr, 1, {10}, false, false},
    {"NoWebInterfaceChangesNothing", Tree([](CTreeOptions& o) { o.fWebInterface = false; }),
     {"configure"}, false, nullptr, 0, {10, 21, 25, 11, 16}, false, false},
    {"FailedCopyStillCreatesTheApplication", Tree([](CTreeOptions& o) { o.fSource = false; }),
     {"configure"}, false, nullptr, 0, {10, 21, 25, 12, 15, 16}, false, true},
    {"InstallKeyInThe32BitView", Tree([](CTreeOptions& o) { o.fWow64Key = true; }), {"configure"},
     false, nullptr, 0, {10, 21, 25, 15, 16}, true, true},
    {"NoWamAdministrationObject", Tree([](CTreeOptions& o) { o.fWamAdmin = false; }),
     {"configure", "IIS_SCRIPTS_DIR=@D"}, false, nullptr, 1, {10, 13, 16}, true, false},
    {"UnconfigureRemovesCopyAndApplication", {}, {"unconfigure"}, true, nullptr, 0,
     {17, 21, 25, 20}, false, false},
    {"FailedAppDeleteLeavesTheCopy", {}, {"unconfigure", "IIS_SCRIPTS_DIR=@D"}, true,
     "not a metabase\n", 1, {17, 19, 20}, true, false},
};

// A trace item's bytes as a 32-bit integer or a UTF-16 string.
int32_t IntOf(const std::vector<uint8_t>& item) {
  int32_t n = 0;
  if (item.size() == 4) std::memcpy(&n, item.data(), 4);
  return n;
}
std::string TextOf(const std::vector<uint8_t>& item) {
  std::string text;
  for (size_t i = 0; i + 1 < item.size(); i += 2) text += static_cast<char>(item[i]);
  return text;
}

TEST(SetupRunnerTest, CasesInThrowAwayTrees) {
  vlttest::CTraceCapture capture;
  ASSERT_TRUE(capture.Started());
  std::map<pid_t, const CRunCase*> runs;
  std::vector<std::unique_ptr<CSetupTree>> trees;
  for (const CRunCase& c : kCases) {
    SCOPED_TRACE(c.pszName);
    auto tree = std::make_unique<CSetupTree>(c.tree);
    if (c.fInstalledBefore) {
      std::filesystem::create_directories(tree->Scripts() + "/vltadmin");
      std::ofstream(tree->Copy()) << "copy";
      std::ofstream(tree->Metabase()) << "inproc " << setuptest::kAppPath << "\n";
    }
    if (c.pszMetabase != nullptr) std::ofstream(tree->Metabase()) << c.pszMetabase;
    std::vector<std::string> args = c.args;
    for (std::string& arg : args)
      if (size_t at = arg.find("@D"); at != std::string::npos) arg.replace(at, 2, tree->Scripts());
    pid_t pid = -1;
    EXPECT_EQ(tree->RunSetup(args, &pid), c.nExit);
    runs[pid] = &c;
    EXPECT_EQ(std::filesystem::exists(tree->Copy()), c.fCopyAfter);
    bool fApplication = tree->Applications() == std::vector<std::string>{setuptest::kAppPath};
    EXPECT_EQ(fApplication, c.fApplicationAfter);
    bool fDirectory = std::filesystem::exists(tree->Scripts() + "/vltadmin");
    if (c.fInstalledBefore && c.nExit == 0) {
      EXPECT_FALSE(fDirectory) << "removed with the copy";
    }
    if (!c.fInstalledBefore && !c.fCopyAfter && !c.fApplicationAfter) {
      EXPECT_FALSE(fDirectory) << "nothing changed";
      EXPECT_FALSE(std::filesystem::exists(tree->Metabase())) << "nothing changed";
    }
    if (c.pszMetabase != nullptr) {
      EXPECT_EQ(vlttest::ReadFile(tree->Metabase()), c.pszMetabase) << "left as it was";
    }
    trees.push_back(std::move(tree));
  }

  std::map<pid_t, std::vector<vlttest::CTraceRecord>> records;
  for (auto& record : capture.Stop())
    if (vltqtr::FormatGuid(record.rgbMessageGuid) == kSetupMessages) records[record.nPid].push_back(record);
  for (const auto& [pid, pCase] : runs) {
    SCOPED_TRACE(pCase->pszName);
    std::vector<unsigned> numbers;
    for (const auto& record : records[pid]) {
      numbers.push_back(record.nMessage);
      if (record.nMessage == 16 || record.nMessage == 20) {
        ASSERT_EQ(record.rgItems.size(), 1u);
        EXPECT_EQ(IntOf(record.rgItems[0]), pCase->nExit);
      } else if (record.nMessage == 12) {
        ASSERT_EQ(record.rgItems.size(), 3u);
        EXPECT_EQ(IntOf(record.rgItems[0]), 2) << "ERROR_FILE_NOT_FOUND";
        EXPECT_NE(TextOf(record.rgItems[1]).find("System32\\vltadmin.dll"), std::string::npos);
        EXPECT_NE(TextOf(record.rgItems[2]).find("/scripts\\vltadmin\\vltadmin.dll"), std::string::npos);
      } else {
        EXPECT_TRUE(record.rgItems.empty()) << record.nMessage;
      }
    }
    EXPECT_EQ(numbers, pCase->rgnTraces);
  }
}

}  // namespace
