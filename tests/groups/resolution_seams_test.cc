// The resolution where a directory or a domain answers what real ones
// rarely do, through stand-ins at the seams: a group whose primary-group
// token cannot be read, a primary-group row without an account name (the
// test directory-services library), and a local group member named
// without a domain (NetLocalGroupGetMembers interposed here).
#include <dlfcn.h>
#include <stdlib.h>

#include <cstring>

#include "group_test_env.h"
#include "platform/netapi/netapi.h"

namespace {

// While set, the members NetLocalGroupGetMembers answers with, each
// "usage:domain\name".
std::vector<std::u16string>* g_prgsFakeMembers = nullptr;

}  // namespace

NET_API_STATUS NetLocalGroupGetMembers(LPCWSTR servername, LPCWSTR localgroupname, DWORD level, LPBYTE* bufptr,
                                       DWORD prefmaxlen, LPDWORD entriesread, LPDWORD totalentries,
                                       PDWORD_PTR resumehandle) {
  if (g_prgsFakeMembers == nullptr) {
    using PFN = decltype(&NetLocalGroupGetMembers);
    static PFN s_pfnReal = reinterpret_cast<PFN>(dlsym(RTLD_NEXT, "_Z23NetLocalGroupGetMembersPKDsS0_jPPhjPjS3_Pm"));
    return s_pfnReal(servername, localgroupname, level, bufptr, prefmaxlen, entriesread, totalentries, resumehandle);
  }
  size_t c = g_prgsFakeMembers->size();
  auto* rgInfo = static_cast<LOCALGROUP_MEMBERS_INFO_2*>(calloc(c, sizeof(LOCALGROUP_MEMBERS_INFO_2) + 64 * 2));
  auto* pw = reinterpret_cast<char16_t*>(rgInfo + c);
  for (size_t i = 0; i < c; ++i) {
    const std::u16string& s = (*g_prgsFakeMembers)[i];
    rgInfo[i].lgrmi2_sidusage = static_cast<SID_NAME_USE>(s[0] - u'0');
    rgInfo[i].lgrmi2_domainandname = pw;
    std::memcpy(pw, s.c_str() + 2, (s.size() - 1) * sizeof(char16_t));
    pw += 64;
  }
  *bufptr = reinterpret_cast<LPBYTE>(rgInfo);
  *entriesread = *totalentries = static_cast<DWORD>(c);
  return 0;
}

namespace {

class ResolutionSeamsTest : public GroupTest {
 protected:
  void TearDown() override {
    g_prgsFakeMembers = nullptr;
    unsetenv("VLTADMIN_MODULE_PATH");
    GroupTest::TearDown();
  }
};

}  // namespace

TEST_F(ResolutionSeamsTest, DirectoryRowsAndTokensThatCannotBeReadArePassedOver) {
  setenv("VLTADMIN_MODULE_PATH", (std::string(getenv("VLT_TEST_MODULES")) + "/adsi").c_str(), 1);
  UseRegistry(vlttest::AdsiVersion() + vlttest::AdsiClass());
  auto pfnSearches = reinterpret_cast<int (*)()>(
      dlsym(dlopen((std::string(getenv("VLT_TEST_MODULES")) + "/adsi/libactiveds.so").c_str(), RTLD_NOW),
            "FakeAdsSearches"));
  ASSERT_NE(pfnSearches, nullptr);
  EXPECT_EQ(Listed(Group("primary", "FAKE")),
            (std::vector<std::string>{"Group FAKE\\primary NT", "user FAKE\\ann", "user FAKE\\cid"}));
  int cSearches = pfnSearches();
  // No token, no search; the members are listed all the same.
  EXPECT_EQ(Listed(Group("tokenless", "FAKE")),
            (std::vector<std::string>{"Group FAKE\\tokenless NT", "user FAKE\\una"}));
  EXPECT_EQ(pfnSearches(), cSearches);
}

TEST_F(ResolutionSeamsTest, LocalMembersWithoutADomainArePassedOver) {
  std::vector<std::u16string> rgsMembers = {u"1:DEMO\\alice", u"1:nodomain", u"2:bare", u"2:DEMO\\Staff",
                                           u"4:DEMO\\alias"};
  g_prgsFakeMembers = &rgsMembers;
  UseRegistry("");
  EXPECT_EQ(Listed(Group("Admins", "DEMO")),
            (std::vector<std::string>{"Group DEMO\\Admins NT", "user DEMO\\alice", "group DEMO\\Staff"}));
}
