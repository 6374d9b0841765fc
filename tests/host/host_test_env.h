// Starts the extension for a test and stops it afterwards.
#pragma once

#include <gtest/gtest.h>

#include "admin/host/extension_exports.h"
#include "admin/host/request_queue.h"
#include "admin/host/settings.h"
#include "fake_isapi_host.h"
#include "platform/base/heap.h"
#include "platform/base/sync.h"

class ExtensionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(GetExtensionVersion(nullptr)); }

  vlttest::ScopedRegistryFile registry{vlttest::ScopedRegistryFile::WithInstallLocation()};
  void TearDown() override {
    host.ReleaseAll();
    TerminateExtension(HSE_TERM_MUST_UNLOAD);
    platform::SetHeapAllocLimitForTesting(0);
    platform::FailThreadCreationForTesting(0);
  }
  static LONG Workers() { return ReadInterlocked(&g_requestQueue.workerCount); }
  static LONG Pending() {
    EnterCriticalSection(&g_requestQueue.lock);
    LONG n = g_requestQueue.pendingCount;
    LeaveCriticalSection(&g_requestQueue.lock);
    return n;
  }
  // A request whose worker stays busy in ReadClient until released.
  vlttest::FakeConnection& BlockingRequest() {
    vlttest::FakeRequestOptions options;
    options.body = "<AdminProtocol/>";
    options.cbAvailable = 4;
    options.fBlockReads = true;
    return host.NewRequest(options);
  }

  vlttest::FakeIsapiHost host;
};
