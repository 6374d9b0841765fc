// After an NDS success the same change goes to the NT domain that
// "SyncedDomainName" names, here a local store; the NDS back end is the
// stand-in client library (an old password "bad-old" fails its login).
#include "account_test_support.h"
#include "host_with_extension.h"

TEST_F(HostWithExtension, NdsSuccessChangesTheSyncedDomain) {
  vlttest::CScratchDir dir;
  ASSERT_TRUE(accounttest::MakeStore(dir.Path("synced.db"), accounttest::OpenPolicy(), {{"jsmith", "Start-Pass1"}}));
  StartHost(accounttest::LocalDomain("MIRROR", dir.Path("synced.db")) +
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\NDS]\r\n\"SyncedDomainName\"=\"MIRROR\"\r\n\r\n");
  auto change = [&](const std::string& oldPassword, const std::string& newPassword) {
    return Answer(ChangeRequest(".jsmith.sales", oldPassword, newPassword, "NDS", "TREE"));
  };
  // An NDS failure leaves the synced domain alone; the synced domain refusing
  // the change (wrong old password there) leaves the NDS success a success.
  EXPECT_EQ(change("bad-old", "Synced-Pass2"), "old-password-invalid");
  EXPECT_EQ(change("Other-Old", "Synced-Pass2"), "");
  // Neither changed the store: its password is still the first one.
  EXPECT_EQ(change("Start-Pass1", "Synced-Pass2"), "");
  std::string error;
  auto pStore = platform::CAccountStore::Open(dir.Path("synced.db"), error);
  ASSERT_TRUE(pStore) << error;
  EXPECT_EQ(pStore->ChangePassword("jsmith", "Synced-Pass2", "Synced-Pass3"), 0u) << "the store has the new password";
}
