#include <string>
#include <vector>

#include "admin/password/change_password_request.h"
#include "admin/password/password_back_ends.h"
#include "platform/heap.h"
#include "protocol_test_env.h"

namespace {

struct Call {
  std::string backEnd;
  std::u16string domain, user, oldPassword, newPassword;
};

std::vector<Call> g_calls;
NET_API_STATUS g_ntStatus = 0;
AdminError g_ndsResult = nullptr;

std::u16string Wide(const char* psz) {
  std::u16string s;
  while (*psz) s += static_cast<unsigned char>(*psz++);
  return s;
}

NET_API_STATUS Nt(LPCWSTR d, LPCWSTR u, LPCWSTR o, LPCWSTR n) {
  g_calls.push_back({"NT", d, u, o, n});
  return g_ntStatus;
}
AdminError Ads(LPCWSTR u, LPCWSTR o, LPCWSTR n) {
  g_calls.push_back({"ADS", u"", u, o, n});
  return ERR_ID_NEW_PASSWORD_INVALID;
}
AdminError Nds(const char* u, const char* t, const char* o, const char* n) {
  g_calls.push_back({"NDS", Wide(t), Wide(u), Wide(o), Wide(n)});
  return g_ndsResult;
}

class RoutingTest : public ProtocolTest {
 protected:
  void SetUp() override {
    ProtocolTest::SetUp();
    g_passwordBackEnds = {Nt, Ads, Nds};
    g_calls.clear();
    g_ntStatus = 0;
    g_ndsResult = nullptr;
  }
  // The answer for a message with these fields.
  AdminError Route(const std::u16string& user, const std::u16string& domain, DWORD nType) {
    CChangePasswordRequest message(nullptr, 1, 0);
    auto units = [](const std::u16string& s) { return reinterpret_cast<const unsigned short*>(s.data()); };
    message.SetUserName(units(user), static_cast<DWORD>(user.size()));
    message.SetDomain(units(domain), static_cast<DWORD>(domain.size()), nType);
    std::u16string oldPassword = u"old", newPassword = u"new";
    message.SetOldPassword(units(oldPassword), 3);
    message.SetNewPassword(units(newPassword), 3);
    return ExecuteChangePassword(message);
  }
  void SyncedDomain(const std::string& value) {
    registry.Rewrite(vlttest::ScopedRegistryFile::WithInstallLocation(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\NDS]\r\n\"SyncedDomainName\"=" + value + "\r\n"));
  }
};

std::u16string Answer(AdminError id) { return id == nullptr ? u"(none)" : id; }

}  // namespace

TEST_F(RoutingTest, NtRequestsGoToTheDomainChange) {
  EXPECT_EQ(Answer(Route(u"jsmith", u"SALES", 1)), u"(none)");
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].domain, u"SALES");
  // An empty domain is passed on as it is (this machine).
  EXPECT_EQ(Answer(Route(u"jsmith", u"", 1)), u"(none)");
  EXPECT_EQ(g_calls.size(), 2u);
}

TEST_F(RoutingTest, UncDomainIsRefusedByTheLibraryWithoutAPlatformCall) {
  g_passwordBackEnds.pfnChangeDomainPassword = m_savedBackEnds.pfnChangeDomainPassword;
  EXPECT_EQ(Answer(Route(u"jsmith", u"\\\\server", 1)), u"operation-failed");
  // With no provider for the domain, the change fails without success.
  EXPECT_EQ(Answer(Route(u"jsmith", u"SALES", 1)), u"operation-failed");
}

TEST_F(RoutingTest, OtherTypesTakeTheDirectoryRouteOnlyForPrincipalNames) {
  EXPECT_EQ(Answer(Route(u"a@b", u"", 0)), u"new-password-invalid");
  EXPECT_EQ(Answer(Route(u"a@b", u"", 3)), u"new-password-invalid");
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].backEnd, "ADS");
  for (const char16_t* user : {u"ab", u"@b", u"a@", u"@", u""})
    EXPECT_EQ(Answer(Route(user, u"", 0)), u"operation-failed");
  EXPECT_EQ(Answer(Route(u"a@b", u"DOMAIN", 3)), u"operation-failed");
  EXPECT_EQ(g_calls.size(), 2u);
}

TEST_F(RoutingTest, NdsSuccessMirrorsToTheSyncedNtDomain) {
  SyncedDomain("\"MIRROR\"");
  g_ntStatus = 86;  // the mirrored change fails; the answer stays success
  EXPECT_EQ(Answer(Route(u".jsmith.sales.acme", u"TREE", 2)), u"(none)");
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].backEnd, "NDS");
  EXPECT_EQ(g_calls[0].domain, u"TREE");
  EXPECT_EQ(g_calls[0].user, u".jsmith.sales.acme");
  EXPECT_EQ(g_calls[1].backEnd, "NT");
  EXPECT_EQ(g_calls[1].domain, u"MIRROR");
  EXPECT_EQ(g_calls[1].user, u"jsmith");
  EXPECT_EQ(g_calls[1].newPassword, u"new");
}

TEST_F(RoutingTest, NdsWithoutMirror) {
  SyncedDomain("\"MIRROR\"");
  // No leading '.': no mirrored change.
  EXPECT_EQ(Answer(Route(u"jsmith", u"TREE", 2)), u"(none)");
  EXPECT_EQ(g_calls.size(), 1u);
  // A failed NDS change reads nothing and mirrors nothing.
  g_ndsResult = ERR_ID_OLD_PASSWORD_INVALID;
  EXPECT_EQ(Answer(Route(u".jsmith", u"TREE", 2)), u"old-password-invalid");
  EXPECT_EQ(g_calls.size(), 2u);
  g_ndsResult = nullptr;
  // An expandable string, or a value of a single byte, counts as absent.
  SyncedDomain("hex(2):4d,00,00,00");
  EXPECT_EQ(Answer(Route(u".jsmith", u"TREE", 2)), u"(none)");
  SyncedDomain("hex(1):4d");
  EXPECT_EQ(Answer(Route(u".jsmith", u"TREE", 2)), u"(none)");
  EXPECT_EQ(g_calls.size(), 4u);
}

TEST_F(RoutingTest, NdsTextThatCannotBeSingleByteFailsWithoutTheBackEnd) {
  EXPECT_EQ(Answer(Route(u"caf\u00e9", u"TREE", 2)), u"(none)");  // U+00E9 is one byte
  EXPECT_EQ(g_calls.back().user, u"caf\u00e9");
  g_calls.clear();
  EXPECT_EQ(Answer(Route(u"\u20acuser", u"TREE", 2)), u"operation-failed");
  EXPECT_TRUE(g_calls.empty());
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
