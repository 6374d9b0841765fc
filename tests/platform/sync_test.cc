#include <gtest/gtest.h>

#include "platform/sync.h"

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

TEST(SyncTest, ThreadCreationFailureSeam) {
  platform::FailThreadCreationForTesting(1);
  auto body = [](LPVOID) -> DWORD { return 0; };
  EXPECT_EQ(CreateThread(nullptr, 0, body, nullptr, 0, nullptr), nullptr);
  HANDLE thread = CreateThread(nullptr, 0, body, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
}

TEST(SyncTest, InterlockedCompareExchangeReturnsPreviousValue) {
  LONG value = 0;
  EXPECT_EQ(InterlockedCompareExchange(&value, 1, 0), 0);
  EXPECT_EQ(InterlockedCompareExchange(&value, 2, 0), 1);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(InterlockedIncrement(&value), 2);
  EXPECT_EQ(InterlockedExchange(&value, 7), 2);
}
