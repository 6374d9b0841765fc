#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/base/sync.h"

namespace {

// Starts |n| threads that each wait up to |ms| on |event|; the count of
// those that got it once all have returned.
int WaitersReleased(HANDLE event, int n, DWORD ms, void (*signal)(HANDLE)) {
  std::atomic<int> nReleased{0};
  std::atomic<int> nStarted{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i)
    threads.emplace_back([&] {
      ++nStarted;
      if (WaitForSingleObject(event, ms) == WAIT_OBJECT_0) ++nReleased;
    });
  while (nStarted.load() < n) std::this_thread::yield();
  signal(event);
  for (auto& t : threads) t.join();
  return nReleased.load();
}

}  // namespace

TEST(SyncTest, AutoResetEventReleasesOneWaiterPerSignal) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  SetEvent(event);
  SetEvent(event);  // a second signal while set changes nothing
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_TIMEOUT);
  // Two threads wait (one of them until it times out): one signal, one wake.
  EXPECT_EQ(WaitersReleased(event, 2, 300, [](HANDLE h) { SetEvent(h); }), 1);
  // A signal given while nobody waits stays until a thread waits.
  SetEvent(event);
  EXPECT_EQ(WaitersReleased(event, 1, 0, [](HANDLE) {}), 1);
  CloseHandle(event);
}

TEST(SyncTest, ManualResetEventReleasesEveryWaiterUntilReset) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitersReleased(event, 3, INFINITE, [](HANDLE h) { SetEvent(h); }), 3);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ResetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_TIMEOUT);
  CloseHandle(event);
}
