#include <string>

#include "admin/messages/change_password_request.h"
#include "platform/base/heap.h"
#include "protocol_test_env.h"

namespace {

class RoutingTest : public ProtocolTest {
 protected:
  // The answer for a message with these fields ("(none)" for success).
  std::u16string Route(const std::u16string& user, const std::u16string& domain, DWORD nType) {
    CChangePasswordRequest message(nullptr, 1, 0);
    auto units = [](const std::u16string& s) { return reinterpret_cast<const unsigned short*>(s.data()); };
    message.SetUserName(units(user), static_cast<DWORD>(user.size()));
    message.SetDomain(units(domain), static_cast<DWORD>(domain.size()), nType);
    std::u16string oldPassword = u"old", newPassword = u"new";
    message.SetOldPassword(units(oldPassword), 3);
    message.SetNewPassword(units(newPassword), 3);
    AdminError id = ExecuteChangePassword(message);
    return id == nullptr ? u"(none)" : id;
  }
  void SyncedDomain(const std::string& value) {
    registry.Use(vlttest::VeltraKey("NDS", "\"SyncedDomainName\"=" + value + "\r\n"));
  }
};

}  // namespace

TEST_F(RoutingTest, NtRequestsGoToTheDomainChange) {
  EXPECT_EQ(Route(u"jsmith", u"SALES", 1), u"(none)");
  ASSERT_EQ(ms_rgCalls.size(), 1u);
  EXPECT_EQ(ms_rgCalls[0].domain, u"SALES");
  // An empty domain is passed on as it is (this machine).
  EXPECT_EQ(Route(u"jsmith", u"", 1), u"(none)");
  EXPECT_EQ(ms_rgCalls.size(), 2u);
}

TEST_F(RoutingTest, OtherTypesTakeTheDirectoryRouteOnlyForPrincipalNames) {
  EXPECT_EQ(Route(u"a@b", u"", 0), u"new-password-invalid");
  EXPECT_EQ(Route(u"a@b", u"", 3), u"new-password-invalid");
  ASSERT_EQ(ms_rgCalls.size(), 2u);
  EXPECT_EQ(ms_rgCalls[0].backEnd, "ADS");
  for (const char16_t* user : {u"ab", u"@b", u"a@", u"@", u""}) EXPECT_EQ(Route(user, u"", 0), u"operation-failed");
  EXPECT_EQ(Route(u"a@b", u"DOMAIN", 3), u"operation-failed");
  EXPECT_EQ(ms_rgCalls.size(), 2u);
}

// The synced change after an NDS success is tested end to end (NdsChange);
// these are the cases that make none.
TEST_F(RoutingTest, NdsWithoutMirror) {
  SyncedDomain("\"MIRROR\"");
  // No leading '.': no mirrored change.
  EXPECT_EQ(Route(u"jsmith", u"TREE", 2), u"(none)");
  EXPECT_EQ(ms_rgCalls.size(), 1u);
  // An expandable string, or a value of a single byte, counts as absent.
  for (const char* pszValue : {"hex(2):4d,00,00,00", "hex(1):4d"}) {
    SyncedDomain(pszValue);
    EXPECT_EQ(Route(u".jsmith", u"TREE", 2), u"(none)");
  }
  EXPECT_EQ(ms_rgCalls.size(), 3u);
}

TEST_F(RoutingTest, NdsTextThatCannotBeSingleByteFailsWithoutTheBackEnd) {
  EXPECT_EQ(Route(u"caf\u00e9", u"TREE", 2), u"(none)");  // U+00E9 is one byte
  EXPECT_EQ(ms_rgCalls.back().user, u"caf\u00e9");
  ms_rgCalls.clear();
  EXPECT_EQ(Route(u"\u20acuser", u"TREE", 2), u"operation-failed");
  EXPECT_TRUE(ms_rgCalls.empty());
}

TEST(NdsLeafNameTest, LeafOfDottedNames) {
  auto leaf = [](const char16_t* name) -> std::u16string {
    WCHAR* pwsz = nullptr;
    if (!GetNdsLeafName(&pwsz, name)) return u"(false)";
    std::u16string s = pwsz;
    HeapFree(GetProcessHeap(), 0, pwsz);
    return s;
  };
  EXPECT_EQ(leaf(u".jsmith.sales.acme"), u"jsmith");
  EXPECT_EQ(leaf(u"..acme"), u"");
  EXPECT_EQ(leaf(u"jsmith.sales"), u"(false)");
  EXPECT_EQ(leaf((u"." + std::u16string(300, u'x')).c_str()), std::u16string(253, u'x'));
}
