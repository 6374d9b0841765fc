#include <chrono>
#include <cstring>
#include <future>

#include "admin/host/extension_exports.h"
#include "admin/host/request_queue.h"
#include "admin/host/settings.h"
#include "fake_isapi_host.h"
#include "own_process.h"
#include "platform/base/sync.h"

using vlttest::FakeConnection;
using vlttest::FakeIsapiHost;
using vlttest::FakeRequestOptions;
using vlttest::ScopedRegistryFile;

namespace {

std::string SettingsFile(const std::string& value) {
  return vlttest::RegistryText(vlttest::VeltraKey("XML Service", "\"MaxRequestSize\"=" + value + "\r\n"));
}

}  // namespace

TEST(SettingsTest, MaxRequestSizeTakesOnlyNonZeroDwords) {
  // Zero, a string and no value keep what was there; the last zero keeps
  // the 65536 read before it.
  const struct {
    const char* pszValue;
    DWORD cbExpected;
  } cases[] = {{"dword:00000000", 16720},
               {"\"65536\"", 16720},
               {nullptr, 16720},
               {"dword:00010000", 65536},
               {"dword:00000000", 65536}};
  MaxRequestSize = DEFAULT_MAX_REQUEST_SIZE;
  for (const auto& c : cases) {
    ScopedRegistryFile reg(c.pszValue ? SettingsFile(c.pszValue) : vlttest::RegistryText());
    ReadSettings();
    EXPECT_EQ(MaxRequestSize, c.cbExpected) << (c.pszValue ? c.pszValue : "no value");
  }
}

TEST(LifecycleTest, GetExtensionVersionReadsSettingsFillsInfoAndRefusesASecondStart) {
  ScopedRegistryFile reg(SettingsFile("dword:00010000"));
  MaxRequestSize = DEFAULT_MAX_REQUEST_SIZE;
  HSE_VERSION_INFO info;
  std::memset(&info, 0x7f, sizeof(info));
  EXPECT_TRUE(GetExtensionVersion(&info));
  EXPECT_EQ(MaxRequestSize, 65536u);
  EXPECT_EQ(info.dwExtensionVersion, 0x00070000u);
  EXPECT_STREQ(info.lpszExtensionDesc, "ISAPI Veltra Administration Extension");
  EXPECT_FALSE(GetExtensionVersion(nullptr));
  EXPECT_TRUE(TerminateExtension(0));
}

TEST(LifecycleTest, RequestsBeforeStartAndAfterStopAreNotTaken) {
  ScopedRegistryFile reg;
  FakeIsapiHost host;
  const FakeRequestOptions options{.body = "<x/>"};
  FakeConnection& before = host.NewRequest(options);
  EXPECT_EQ(host.Submit(before), static_cast<DWORD>(HSE_STATUS_ERROR));
  ASSERT_TRUE(GetExtensionVersion(nullptr));
  ASSERT_TRUE(TerminateExtension(0));
  FakeConnection& after = host.NewRequest(options);
  EXPECT_EQ(host.Submit(after), static_cast<DWORD>(HSE_STATUS_ERROR));
  EXPECT_EQ(ReadInterlocked(&g_requestQueue.workerCount), 0);
  EXPECT_FALSE(before.Done());
  EXPECT_FALSE(after.Done());
}

TEST(LifecycleTest, ConcurrentTerminateReturnsOnlyAfterEveryQueuedRequestIsAnswered) {
  ScopedRegistryFile reg;
  ASSERT_TRUE(GetExtensionVersion(nullptr));
  FakeIsapiHost host;
  std::vector<FakeConnection*> conns;
  for (int i = 0; i < 6; ++i) {
    conns.push_back(&host.NewRequest({.body = "<AdminProtocol/>", .cbAvailable = 2, .fBlockReads = true}));
    ASSERT_EQ(host.Submit(*conns.back()), static_cast<DWORD>(HSE_STATUS_PENDING));
  }
  ASSERT_TRUE(conns[0]->WaitReadStarted());

  auto stopped = std::async(std::launch::async, [] { return TerminateExtension(0); });
  EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  for (FakeConnection* c : conns) EXPECT_FALSE(c->Done());

  host.ReleaseAll();
  EXPECT_TRUE(stopped.get());
  for (FakeConnection* c : conns) {
    EXPECT_EQ(c->DoneCount(), 1);
    EXPECT_EQ(c->Status(), "405 method not supported");
  }
  EXPECT_EQ(ReadInterlocked(&g_requestQueue.workerCount), 0);
}

TEST(LifecycleTest, StartIsRefusedWhenTheAliasFileCannotBeLoaded) {
  VLT_IN_OWN_PROCESS(
    ScopedRegistryFile reg(vlttest::kRegHeader +
                           vlttest::RegKey("HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install",
                                           vlttest::RegString("Location", "@LOCATION@/nowhere")));
    EXPECT_FALSE(GetExtensionVersion(nullptr));
    // The failed start is not retried: the extension stays unusable.
    EXPECT_FALSE(GetExtensionVersion(nullptr));
  );
}
