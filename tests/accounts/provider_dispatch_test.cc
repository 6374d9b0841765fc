// NetUserChangePassword's choice of account provider by the registry.
#include <gtest/gtest.h>

#include "account_test_support.h"
#include "process_memory.h"
#include "platform/netapi/netapi.h"
#include "test_registry.h"

using vlttest::LocalDomain;

namespace {

class ProviderDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(accounttest::MakeStore(m_dir.Path("one.db"), {{"alice", "Alice-1"}}));
    ASSERT_TRUE(accounttest::MakeStore(m_dir.Path("two.db"), {{"alice", "Other-1"}}));
  }
  vlttest::CScratchDir m_dir;
  vlttest::ScopedRegistryFile m_registry;
};

}  // namespace

TEST_F(ProviderDispatchTest, DomainsMapToTheirStoresAsTheRegistryNowSays) {
  m_registry.Use(LocalDomain("Demo", m_dir.Path("one.db")) + LocalDomain(".", m_dir.Path("two.db")));
  EXPECT_EQ(NetUserChangePassword(u"DEMO", u"alice", u"Alice-1", u"Alice-2"), 0u) << "case-insensitive";
  EXPECT_EQ(NetUserChangePassword(u"demo", u"alice", u"Alice-2", u"Alice-3"), 0u);
  EXPECT_EQ(NetUserChangePassword(u"", u"alice", u"Other-1", u"Other-2"), 0u) << "the empty domain is this machine";
  EXPECT_EQ(NetUserChangePassword(u".", u"alice", u"Other-2", u"Other-3"), 0u);
  EXPECT_EQ(NetUserChangePassword(u"OTHER", u"alice", u"Other-3", u"x"), DWORD{ERROR_NO_SUCH_DOMAIN});
  EXPECT_EQ(NetUserChangePassword(u"DEMO\\..", u"alice", u"Alice-3", u"x"), DWORD{ERROR_NO_SUCH_DOMAIN});
  EXPECT_EQ(NetUserChangePassword(u"DEMO", nullptr, u"a", u"b"), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(NetUserChangePassword(u"DEMO", u"nobody", u"a", u"b"), DWORD{NERR_UserNotFound});
  // The registry is read at every call: an edit moves the domain at once.
  m_registry.Use(LocalDomain("DEMO", m_dir.Path("two.db")));
  EXPECT_EQ(NetUserChangePassword(u"DEMO", u"alice", u"Alice-3", u"x"), DWORD{ERROR_INVALID_PASSWORD});
  EXPECT_EQ(NetUserChangePassword(u"DEMO", u"alice", u"Other-3", u"Other-4"), 0u);
  m_registry.Use("");
  EXPECT_EQ(NetUserChangePassword(u"DEMO", u"alice", u"Other-4", u"x"), DWORD{ERROR_NO_SUCH_DOMAIN});
}

TEST_F(ProviderDispatchTest, UnusableProvidersReachNoDomain) {
  using vlttest::RegString;
  for (const std::string& values :
       {RegString("Provider", "ldap"), RegString("Store", "x"), RegString("Provider", "local"),
        RegString("Provider", "local") + RegString("Store", m_dir.Path("missing.db")),
        std::string("\"Provider\"=dword:00000001\r\n")}) {
    m_registry.Use(vlttest::VeltraKey("Accounts\\Domains\\DEMO", values));
    EXPECT_EQ(NetUserChangePassword(u"DEMO", u"alice", u"Alice-1", u"Alice-2"), DWORD{ERROR_NO_SUCH_DOMAIN})
        << values;
  }
  // A provider name in any case.
  m_registry.Use(vlttest::VeltraKey("Accounts\\Domains\\DEMO",
                                    RegString("Provider", "LOCAL") + RegString("Store", m_dir.Path("one.db"))));
  EXPECT_EQ(NetUserChangePassword(u"DEMO", u"alice", u"Alice-1", u"Alice-2"), 0u);
}

// Passwords beyond ASCII reach the store as UTF-8, the same way each time.
TEST_F(ProviderDispatchTest, NonAsciiPasswordsRoundTrip) {
  m_registry.Use(LocalDomain("DEMO", m_dir.Path("one.db")));
  EXPECT_EQ(NetUserChangePassword(u"DEMO", u"alice", u"Alice-1", u"P\u00e4ss-\u20ac-\U0001F511"), 0u);
  EXPECT_EQ(NetUserChangePassword(u"DEMO", u"alice", u"P\u00e4ss-\u20ac-\U0001F511", u"Alice-9"), 0u);
  // The store holds UTF-8: the administration tool's passwords match.
  std::string error;
  auto pStore = platform::CAccountStore::Open(m_dir.Path("one.db"), error);
  ASSERT_TRUE(pStore);
  EXPECT_EQ(pStore->ChangePassword("alice", "Alice-9", "Gr\xc3\xbc\xc3\x9f-1"), 0u);
  EXPECT_EQ(NetUserChangePassword(u"DEMO", u"alice", u"Gr\u00fc\u00df-1", u"Alice-10"), 0u);
}

// A change's passwords, converted and hashed on the way, leave no copy in
// this process's memory, freed blocks included, whatever the outcome.
TEST_F(ProviderDispatchTest, NoCopyOfAPasswordOutlivesTheChange) {
  ASSERT_TRUE(accounttest::MakeStore(m_dir.Path("wipe.db"), {{"wipe", "Old-Wipe-5ecret-1-4c8d20e6f9a1b3"}}));
  m_registry.Use(LocalDomain("DEMO", m_dir.Path("wipe.db")));
  EXPECT_EQ(NetUserChangePassword(u"DEMO", u"wipe", u"Wrong-Wipe-5ecret-0-b71f3e0c9d2a", u"New-Wipe-5ecret-2-e5a39c17d04f86"),
            DWORD{ERROR_INVALID_PASSWORD});
  EXPECT_EQ(NetUserChangePassword(u"DEMO", u"wipe", u"Old-Wipe-5ecret-1-4c8d20e6f9a1b3", u"New-Wipe-5ecret-2-e5a39c17d04f86"), 0u);
  EXPECT_EQ(NetUserChangePassword(u"DEMO", u"wipe", u"New-Wipe-5ecret-2-e5a39c17d04f86", u"Old-Wipe-5ecret-1-4c8d20e6f9a1b3"), 0u);
  for (const char* pszSecret : {"Wrong-Wipe-5ecret-0-b71f3e0c9d2a", "Old-Wipe-5ecret-1-4c8d20e6f9a1b3", "New-Wipe-5ecret-2-e5a39c17d04f86"}) {
    bool fReadable = false;
    EXPECT_FALSE(vlttest::HoldsSecret(getpid(), pszSecret, &fReadable)) << pszSecret;
    if (!fReadable) GTEST_SKIP() << "this process's memory cannot be read here";
  }
}
