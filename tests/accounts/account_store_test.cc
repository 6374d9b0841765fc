#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "account_test_support.h"
#include "platform/netapi/netapi.h"

using accounttest::MakeStore;
using platform::CAccountStore;
using platform::CAccountInfo;
using platform::CAccountPolicy;

namespace {

class AccountStoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<CAccountStore> Make(const CAccountPolicy& policy) {
    auto pStore = MakeStore(m_dir.Path("accounts.db"), {{"alice", "Start-Pass1"}}, policy);
    EXPECT_TRUE(pStore);
    return pStore;
  }
  // A connection of its own to the store, as each worker has.
  std::unique_ptr<CAccountStore> Open() const {
    std::string error;
    return CAccountStore::Open(m_dir.Path("accounts.db"), error);
  }
  // Runs fn(i, store) on n threads at once, each with its own connection.
  void RunWorkers(int n, const std::function<void(int, CAccountStore&)>& fn) {
    std::vector<std::thread> workers;
    for (int i = 0; i < n; ++i)
      workers.emplace_back([&, i] {
        if (auto pStore = Open()) fn(i, *pStore);
      });
    for (auto& worker : workers) worker.join();
  }
  vlttest::CScratchDir m_dir;
};

}  // namespace

// Creation, listing, deletion and the policy's keeping are tested through
// vltadmin-accounts, files that are no store through HTTP
// (BackEndFaultsOverHttp); these are the store's own rules.
TEST_F(AccountStoreTest, NamesIgnoreCase) {
  auto pStore = Make({0, false, 0, 0, 0});
  EXPECT_EQ(pStore->AddUser("ALICE", "x"), DWORD{NERR_UserExists});
  EXPECT_EQ(pStore->AddUser("", "x"), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(pStore->AddUser("bob", "Bob-Pass-1"), 0u);
  EXPECT_EQ(pStore->DeleteUser("Bob"), 0u);
  EXPECT_EQ(pStore->ChangePassword("Alice", "Start-Pass1", "Second-Pass2"), 0u);
  EXPECT_EQ(pStore->Unlock("bob"), DWORD{NERR_UserNotFound});
}

// Each policy rule alone, as a sequence of changes of alice (who starts with
// "Start-Pass1"); a step may first move the store's clock on.
TEST_F(AccountStoreTest, PolicyRules) {
  struct SStep {
    const char* pszOld;
    const char* pszNew;
    DWORD dwExpected;
    int64_t nAdvance = 0;
  };
  const struct {
    const char* pszRule;
    CAccountPolicy policy;  // {min length, complexity, history, min age, lockout}
    std::vector<SStep> steps;
  } cases[] = {
      {"length", {8, false, 0, 0, 0},
       {{"Start-Pass1", "Short-1", NERR_PasswordTooShort},
        // Length counts UTF-16 units: seven 'é' are fourteen bytes.
        {"Start-Pass1", "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", NERR_PasswordTooShort},
        {"Start-Pass1", "alllowercase", 0}}},
      {"complexity", {8, true, 0, 0, 0},
       {{"Start-Pass1", "lower-and-symbols", NERR_PasswordTooShort},
        {"Start-Pass1", "lower-and-digits-1", 0},
        // The old password is checked first: a wrong one learns nothing of the policy.
        {"wrong", "x", ERROR_INVALID_PASSWORD}}},
      // The current password and the two before it are refused.
      {"history", {0, false, 3, 0, 0},
       {{"Start-Pass1", "Start-Pass1", NERR_PasswordHistConflict},
        {"Start-Pass1", "P2", 0},
        {"P2", "P3", 0},
        {"P3", "Start-Pass1", NERR_PasswordHistConflict},
        {"P3", "P2", NERR_PasswordHistConflict},
        {"P3", "P4", 0},
        {"P4", "Start-Pass1", 0}}},
      // Creation counts as a change.
      {"minimum age", {0, false, 0, 3600, 0},
       {{"Start-Pass1", "New-Pass-1", NERR_PasswordTooRecent},
        {"Start-Pass1", "New-Pass-1", 0, 3600},
        {"New-Pass-1", "Newer-Pass-2", NERR_PasswordTooRecent, 10}}},
      // Wrong old passwords count and lock at the threshold; a success clears
      // the count; a locked account refuses even the right password.
      {"lockout", {0, false, 0, 0, 3},
       {{"wrong", "New-Pass-1", ERROR_INVALID_PASSWORD},
        {"wrong", "New-Pass-1", ERROR_INVALID_PASSWORD},
        {"Start-Pass1", "New-Pass-1", 0},
        {"wrong", "x", ERROR_INVALID_PASSWORD},
        {"wrong", "x", ERROR_INVALID_PASSWORD},
        {"wrong", "x", ERROR_INVALID_PASSWORD},
        {"New-Pass-1", "Newer-Pass-2", ERROR_ACCOUNT_LOCKED_OUT},
        {"wrong", "x", ERROR_ACCOUNT_LOCKED_OUT}}},
  };
  for (const auto& c : cases) {
    auto pStore = Make(c.policy);
    int64_t nNow = time(nullptr);
    pStore->SetClock([&] { return nNow; });
    int iStep = 0;
    for (const SStep& step : c.steps) {
      nNow += step.nAdvance;
      EXPECT_EQ(pStore->ChangePassword("alice", step.pszOld, step.pszNew), step.dwExpected)
          << c.pszRule << ", step " << iStep++;
    }
    pStore.reset();
    std::filesystem::remove(m_dir.Path("accounts.db"));
  }
}

// Workers with their own connections change one user from the same old
// password at once: exactly one wins, the store holds the winner's password,
// the history gets exactly one entry and every loser's failure is counted.
TEST_F(AccountStoreTest, ConcurrentChangesOfOneUserAreNeverHalfApplied) {
  Make({0, false, 10, 0, 0});
  constexpr int kWorkers = 4;
  std::vector<DWORD> results(kWorkers, 1);
  std::atomic<int> nReady{0};
  RunWorkers(kWorkers, [&](int i, CAccountStore& store) {
    nReady.fetch_add(1);
    while (nReady.load() < kWorkers) std::this_thread::yield();
    results[i] = store.ChangePassword("alice", "Start-Pass1", ("Worker-" + std::to_string(i)).c_str());
  });
  int nWinner = -1, nLosers = 0;
  for (int i = 0; i < kWorkers; ++i) {
    if (results[i] == 0) {
      EXPECT_EQ(nWinner, -1) << "two changes from the same old password succeeded";
      nWinner = i;
    } else {
      EXPECT_EQ(results[i], DWORD{ERROR_INVALID_PASSWORD});
      ++nLosers;
    }
  }
  ASSERT_NE(nWinner, -1);
  auto pStore = Open();
  ASSERT_TRUE(pStore);
  CAccountInfo info;
  ASSERT_TRUE(pStore->GetUser("alice", info));
  EXPECT_EQ(info.nBadCount, static_cast<uint32_t>(nLosers));
  std::string winner = "Worker-" + std::to_string(nWinner);
  // The previous password is in the history once; the winner's is current.
  EXPECT_EQ(pStore->ChangePassword("alice", winner.c_str(), "Start-Pass1"), DWORD{NERR_PasswordHistConflict});
  EXPECT_EQ(pStore->ChangePassword("alice", winner.c_str(), "Final-Pass-9"), 0u);
}
