// After an NDS success the same change goes to the NT domain that
// "SyncedDomainName" names, here a local store; the NDS back end is the
// stand-in client library the integration tests load.
#include <string>

#include "account_test_support.h"
#include "host_with_extension.h"

using accounttest::CScratchDir;
using accounttest::LocalDomain;
using accounttest::MakeStore;
using accounttest::OpenPolicy;

namespace {

class SyncedNtChange : public HostWithExtension {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakeStore(m_dir.Path("synced.db"), OpenPolicy(), {{"jsmith", "Start-Pass1"}}));
    StartHost(LocalDomain("MIRROR", m_dir.Path("synced.db")) +
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\NDS]\r\n\"SyncedDomainName\"=\"MIRROR\"\r\n\r\n");
  }
  std::string NdsChange(const std::string& oldPassword, const std::string& newPassword) {
    std::string body =
        "<?xml version=\"1.0\"?><AdminProtocol version=\"1.0\"><RequestChangePassword>"
        "<UserName>.jsmith.sales</UserName><Domain type=\"NDS\">TREE</Domain><OldPassword>" +
        oldPassword + "</OldPassword><NewPassword>" + newPassword +
        "</NewPassword></RequestChangePassword></AdminProtocol>";
    return Exchange(Post(body)).m_body;
  }
  DWORD StoreChange(const char* pszOld, const char* pszNew) {
    std::string error;
    auto pStore = platform::CAccountStore::Open(m_dir.Path("synced.db"), error);
    return pStore ? pStore->ChangePassword("jsmith", pszOld, pszNew) : 1;
  }
  CScratchDir m_dir;
};

}  // namespace

TEST_F(SyncedNtChange, NdsSuccessChangesTheMirrorDomain) {
  std::string answer = NdsChange("Start-Pass1", "Synced-Pass2");
  EXPECT_EQ(answer.find("<ErrorId>"), std::string::npos) << answer;
  EXPECT_EQ(StoreChange("Synced-Pass2", "Synced-Pass3"), 0u) << "the store has the new password";
}

TEST_F(SyncedNtChange, NdsFailureLeavesTheMirrorDomainAlone) {
  std::string answer = NdsChange("bad-old", "Synced-Pass2");
  EXPECT_NE(answer.find("old-password-invalid"), std::string::npos) << answer;
  EXPECT_EQ(StoreChange("Start-Pass1", "Synced-Pass3"), 0u) << "the store kept its password";
}

// The mirror refusing the change does not turn the NDS success into a failure.
TEST_F(SyncedNtChange, MirrorRefusalStillAnswersSuccess) {
  std::string answer = NdsChange("Other-Old", "Synced-Pass2");
  EXPECT_EQ(answer.find("<ErrorId>"), std::string::npos) << answer;
  EXPECT_EQ(StoreChange("Start-Pass1", "Synced-Pass3"), 0u) << "the wrong old password changed nothing";
}
