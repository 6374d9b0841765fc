#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/base/sync.h"

TEST(SyncTest, AutoResetEventReleasesOneWaiterPerSignal) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  SetEvent(event);
  SetEvent(event);  // a second signal while set changes nothing
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_TIMEOUT);
  CloseHandle(event);
}

// Releases add up (unlike an event's signals) and each lets exactly one wait
// through; the count never passes the maximum.
TEST(SyncTest, SemaphoreCountsReleases) {
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 3, nullptr);
  ASSERT_NE(semaphore, nullptr);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
  LONG nPrevious = -1;
  EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, &nPrevious));
  EXPECT_EQ(nPrevious, 0);
  EXPECT_TRUE(ReleaseSemaphore(semaphore, 2, &nPrevious));
  EXPECT_EQ(nPrevious, 1);
  EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_POSTS));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0) << i;
  EXPECT_EQ(WaitForSingleObject(semaphore, 10), WAIT_TIMEOUT);

  // Two releases given while two threads wait wake both.
  std::atomic<int> nWoken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i)
    waiters.emplace_back([&] {
      if (WaitForSingleObject(semaphore, INFINITE) == WAIT_OBJECT_0) ++nWoken;
    });
  EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, nullptr));
  EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, nullptr));
  for (auto& t : waiters) t.join();
  EXPECT_EQ(nWoken.load(), 2);
  CloseHandle(semaphore);
  EXPECT_EQ(CreateSemaphoreW(nullptr, 2, 1, nullptr), nullptr);
}
