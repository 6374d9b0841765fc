// Changes through vltadmin-host against a local store: an NT change of its
// own, and after an NDS success the same change in the NT domain that
// "SyncedDomainName" names. The NDS back end is the stand-in client library
// (an old password "bad-old" fails its login).
#include "account_test_support.h"
#include "host_test.h"

TEST_F(HostWithExtension, LocalStoreChangedDirectlyAndAfterAnNdsSuccess) {
  vlttest::CScratchDir dir;
  ASSERT_TRUE(accounttest::MakeStore(dir.Path("synced.db"), {{"jsmith", "Start-Pass1"}}));
  StartHost(vlttest::LocalDomain("MIRROR", dir.Path("synced.db")) +
            vlttest::VeltraKey("NDS", vlttest::RegString("SyncedDomainName", "MIRROR")));
  auto nds = [&](const std::string& oldPassword, const std::string& newPassword) {
    return Answer(ChangeRequest(".jsmith.sales", oldPassword, newPassword, "NDS", "TREE"));
  };
  auto nt = [&](const std::string& oldPassword, const std::string& newPassword) {
    return Answer(ChangeRequest("jsmith", oldPassword, newPassword, "NT", "mirror"));
  };
  // An NDS failure leaves the synced domain alone; the synced domain refusing
  // the change (wrong old password there) leaves the NDS success a success.
  EXPECT_EQ(nds("bad-old", "Synced-Pass2"), "old-password-invalid");
  EXPECT_EQ(nds("Other-Old", "Synced-Pass2"), "");
  // Neither changed the store: its password is still the first one.
  EXPECT_EQ(nds("Start-Pass1", "Synced-Pass2"), "");
  EXPECT_EQ(nt("Start-Pass1", "Synced-Pass3"), "old-password-invalid");
  EXPECT_EQ(nt("Synced-Pass2", "Synced-Pass3"), "");
}
