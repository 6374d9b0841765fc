#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "admin/host/extension_exports.h"
#include "admin/host/request_queue.h"
#include "admin/host/settings.h"
#include "admin/password/password_back_ends.h"
#include "change_documents.h"
#include "fake_isapi_host.h"
#include "platform/base/heap.h"
#include "platform/base/sync.h"

using vlttest::FakeConnection;
using vlttest::FakeRequestOptions;

namespace {

// The extension started for each test and stopped afterwards.
class RequestQueueTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(GetExtensionVersion(nullptr)); }
  void TearDown() override {
    host.ReleaseAll();
    TerminateExtension(HSE_TERM_MUST_UNLOAD);
    platform::SetHeapAllocLimitForTesting(0);
    platform::FailThreadCreationForTesting(0);
    MaxRequestSize = DEFAULT_MAX_REQUEST_SIZE;
  }
  static LONG Workers() { return ReadInterlocked(&g_requestQueue.workerCount); }
  static LONG Pending() {
    EnterCriticalSection(&g_requestQueue.lock);
    LONG n = g_requestQueue.pendingCount;
    LeaveCriticalSection(&g_requestQueue.lock);
    return n;
  }
  // A request whose worker stays busy in ReadClient until released.
  static FakeRequestOptions Blocking() { return {.body = "<AdminProtocol/>", .cbAvailable = 4, .fBlockReads = true}; }
  FakeConnection& BlockingRequest() { return host.NewRequest(Blocking()); }

  vlttest::ScopedRegistryFile registry;
  vlttest::FakeIsapiHost host;
};

}  // namespace

TEST_F(RequestQueueTest, PoolGrowsOnlyWhileWaitingRequestsOutnumberWorkers) {
  // The first request starts one worker.
  FakeConnection& first = BlockingRequest();
  host.Submit(first);
  ASSERT_TRUE(first.WaitReadStarted());
  EXPECT_EQ(Workers(), 1);

  // One busy worker and one waiting request: no second worker.
  FakeConnection& second = BlockingRequest();
  host.Submit(second);
  EXPECT_EQ(Workers(), 1);
  EXPECT_EQ(Pending(), 1);

  // A second waiting request adds one.
  FakeConnection& third = BlockingRequest();
  host.Submit(third);
  EXPECT_EQ(Workers(), 2);
  ASSERT_TRUE(second.WaitReadStarted());

  host.ReleaseAll();
  for (FakeConnection* c : {&first, &second, &third}) {
    ASSERT_TRUE(c->WaitDone());
    EXPECT_EQ(c->DoneCount(), 1);
  }
  EXPECT_EQ(Workers(), 2);
}

TEST_F(RequestQueueTest, ConcurrentBacklogIsCappedAt16WorkersAndServedInArrivalOrder) {
  std::vector<FakeConnection*> conns;
  for (int i = 0; i < 40; ++i) {
    conns.push_back(&BlockingRequest());
    EXPECT_EQ(host.Submit(*conns.back()), static_cast<DWORD>(HSE_STATUS_PENDING));
    EXPECT_LE(Workers(), 16);
  }
  // The first 16 are taken by 16 workers; 24 wait.
  for (int i = 0; i < 16; ++i) ASSERT_TRUE(conns[i]->WaitReadStarted()) << i;
  EXPECT_EQ(Workers(), 16);
  EXPECT_EQ(Pending(), 24);
  for (int i = 16; i < 40; ++i) EXPECT_FALSE(conns[i]->ReadStarted()) << i;

  // Each freed worker takes the oldest waiting request.
  for (int i = 0; i < 24; ++i) {
    conns[i]->Release();
    ASSERT_TRUE(conns[i]->WaitDone());
    ASSERT_TRUE(conns[16 + i]->WaitReadStarted()) << i;
    if (16 + i + 1 < 40) {
      EXPECT_FALSE(conns[16 + i + 1]->ReadStarted()) << i;
    }
  }
  host.ReleaseAll();
  for (FakeConnection* c : conns) ASSERT_TRUE(c->WaitDone());
  EXPECT_EQ(Workers(), 16);
}

// A worker that cannot be started: with no worker the request is taken
// back and never served later; with a worker running it is left to it.
TEST_F(RequestQueueTest, ThreadStartFailure) {
  platform::FailThreadCreationForTesting(1);
  FakeConnection& failed = BlockingRequest();
  EXPECT_EQ(host.Submit(failed), static_cast<DWORD>(HSE_STATUS_ERROR));
  EXPECT_EQ(Workers(), 0);
  EXPECT_EQ(Pending(), 0);

  FakeConnection& busy = BlockingRequest();
  EXPECT_EQ(host.Submit(busy), static_cast<DWORD>(HSE_STATUS_PENDING));
  ASSERT_TRUE(busy.WaitReadStarted());
  FakeConnection& waiting = BlockingRequest();
  host.Submit(waiting);
  platform::FailThreadCreationForTesting(1);
  FakeConnection& third = BlockingRequest();
  EXPECT_EQ(host.Submit(third), static_cast<DWORD>(HSE_STATUS_PENDING));
  EXPECT_EQ(Workers(), 1);

  host.ReleaseAll();
  for (FakeConnection* c : {&busy, &waiting, &third}) {
    ASSERT_TRUE(c->WaitDone());
    EXPECT_EQ(c->Status(), "405 method not supported");
  }
  EXPECT_FALSE(failed.ReadStarted());
  EXPECT_EQ(failed.DoneCount(), 0);
  EXPECT_FALSE(failed.HeaderSent());
}

TEST_F(RequestQueueTest, BodyBufferThatCannotBeAllocatedAnswers503) {
  MaxRequestSize = 1u << 24;
  platform::SetHeapAllocLimitForTesting(1u << 20);
  FakeConnection& conn = host.NewRequest({.body = "<x/>"});
  host.Submit(conn);
  ASSERT_TRUE(conn.WaitDone());
  EXPECT_EQ(conn.Status(), "503 temporarily overloaded");
  EXPECT_FALSE(conn.KeepConn());
  EXPECT_EQ(conn.DoneCount(), 1);
  EXPECT_EQ(conn.ReadCalls(), 0);
}

namespace {

// A back end that waits until the test lets it go.
std::mutex g_backEndLock;
std::condition_variable g_backEndCv;
bool g_fBackEndEntered = false;
bool g_fBackEndReleased = false;

NET_API_STATUS WINAPI BlockingDomainChange(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR) {
  std::unique_lock<std::mutex> guard(g_backEndLock);
  g_fBackEndEntered = true;
  g_backEndCv.notify_all();
  g_backEndCv.wait(guard, [] { return g_fBackEndReleased; });
  return 0;
}

}  // namespace

// With one processor, a request that arrives while the one running worker
// waits (in a back end, a body read, or a write to a slow client) is still
// served by another worker before that wait ends.
TEST_F(RequestQueueTest, RequestArrivingWhileTheRunningWorkerWaitsIsServed) {
  CPasswordBackEnds saved = g_passwordBackEnds;
  g_passwordBackEnds.pfnChangeDomainPassword = BlockingDomainChange;
  g_requestQueue.processorCount = 1;
  // Two idle workers.
  std::vector<FakeConnection*> warm;
  for (int i = 0; i < 3; ++i) {
    warm.push_back(&BlockingRequest());
    host.Submit(*warm.back());
  }
  host.ReleaseAll();
  for (FakeConnection* c : warm) ASSERT_TRUE(c->WaitDone());
  ASSERT_GE(Workers(), 2);

  struct Case {
    const char* what;
    FakeRequestOptions options;
    std::function<bool(FakeConnection&)> waitBlocked;
    std::function<void(FakeConnection&)> release;
  };
  const std::string change = ChangeRequest("alice", "Old-1", "New-2", "NT", "DEMO");
  const Case cases[] = {
      {"back end", {.body = change},
       [](FakeConnection&) {
         std::unique_lock<std::mutex> guard(g_backEndLock);
         return g_backEndCv.wait_for(guard, std::chrono::seconds(5), [] { return g_fBackEndEntered; });
       },
       [](FakeConnection&) {
         std::lock_guard<std::mutex> guard(g_backEndLock);
         g_fBackEndReleased = true;
         g_backEndCv.notify_all();
       }},
      {"body read", Blocking(), [](FakeConnection& c) { return c.WaitReadStarted(); },
       [](FakeConnection& c) { c.Release(); }},
      {"write", {.body = change, .fBlockWrites = true}, [](FakeConnection& c) { return c.WaitWriteStarted(); },
       [](FakeConnection& c) { c.Release(); }},
  };
  for (const Case& c : cases) {
    FakeConnection& blocked = host.NewRequest(c.options);
    host.Submit(blocked);
    ASSERT_TRUE(c.waitBlocked(blocked)) << c.what;
    FakeConnection& next = host.NewRequest({.body = "<x/>"});
    host.Submit(next);
    EXPECT_TRUE(next.WaitDone()) << c.what;
    EXPECT_FALSE(blocked.Done()) << c.what;
    c.release(blocked);
    EXPECT_TRUE(blocked.WaitDone()) << c.what;
  }
  g_passwordBackEnds = saved;
}
