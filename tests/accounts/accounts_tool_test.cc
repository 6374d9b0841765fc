// vltadmin-accounts run as a program: the password comes from standard input.
#include <gtest/gtest.h>

#include <string>

#include "account_test_support.h"
#include "fixture_support.h"
#include "host_process.h"
#include "platform/netapi/local/account_store.h"

namespace {

struct SRun {
  int nExit = -1;
  std::string out;
};

// Runs the tool through the shell with |input| on standard input.
SRun RunTool(const std::string& arguments, const std::string& input = "") {
  SRun run;
  run.out = vlttest::RunCommand(
      "printf '" + input + "' | " + CHostProcess::BinDir() + "/vltadmin-accounts " + arguments + " 2>&1", &run.nExit);
  return run;
}

}  // namespace

TEST(AccountsTool, AdministersAStore) {
  vlttest::CScratchDir dir;
  std::string store = dir.Path("s.db");
  EXPECT_EQ(RunTool("create " + store + " --min-length 10 --lockout 2").nExit, 0);
  EXPECT_EQ(RunTool("create " + store).nExit, 1) << "exists already";
  EXPECT_EQ(RunTool("add " + store + " alice", "Alice-Pass-1\\n").nExit, 0);
  EXPECT_EQ(RunTool("add " + store + " alice", "Other-Pass-1\\n").nExit, 1);
  EXPECT_EQ(RunTool("add " + store + " bob", "").nExit, 1) << "no password on standard input";

  std::string error;
  auto pStore = platform::CAccountStore::Open(store, error);
  ASSERT_TRUE(pStore) << error;
  EXPECT_EQ(pStore->ChangePassword("alice", "wrong", "x"), DWORD{ERROR_INVALID_PASSWORD});
  EXPECT_EQ(pStore->ChangePassword("alice", "wrong", "x"), DWORD{ERROR_INVALID_PASSWORD});
  SRun list = RunTool("list " + store);
  EXPECT_EQ(list.nExit, 0);
  EXPECT_NE(list.out.find("alice\t"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("\t2\tlocked"), std::string::npos) << list.out;
  EXPECT_EQ(RunTool("unlock " + store + " alice").nExit, 0);
  EXPECT_EQ(pStore->ChangePassword("alice", "Alice-Pass-1", "Short-1"), DWORD{NERR_PasswordTooShort})
      << "the policy given at creation";

  SRun policy = RunTool("policy " + store + " --min-length 4 --history 0");
  EXPECT_EQ(policy.nExit, 0);
  EXPECT_NE(policy.out.find("min-length 4\n"), std::string::npos) << policy.out;
  EXPECT_EQ(pStore->ChangePassword("alice", "Alice-Pass-1", "Short-1"), 0u);

  EXPECT_EQ(RunTool("delete " + store + " alice").nExit, 0);
  EXPECT_EQ(RunTool("delete " + store + " alice").nExit, 1);
  EXPECT_EQ(RunTool("policy " + store + " --lockout many").nExit, 2);
  EXPECT_EQ(RunTool("add " + store).nExit, 2);
  EXPECT_EQ(RunTool("list " + dir.Path("missing.db")).nExit, 1);
}
