// The RequestGroup message: what the parser takes from documents, group
// identity, and the vlt1 password encoding.
#include "admin/groups/group_name_set.h"
#include "admin/groups/group_stack.h"
#include "group_test_env.h"

namespace {

// vlt1 text of a password: each byte chained with the one before and 0x5D,
// then written as two letters A to P.
std::string Vlt1(const std::string& sPassword) {
  std::string sText;
  unsigned char bPrevious = 0;
  for (size_t i = 0; i < sPassword.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(sPassword[i]) ^ 0x5D ^ (i > 0 ? bPrevious : 0);
    sText += static_cast<char>('A' + (b >> 4));
    sText += static_cast<char>('A' + (b & 15));
    bPrevious = b;
  }
  return sText;
}

struct CParseCase {
  const char* pszName;
  std::string sChildren;
  int nResult;
  bool fOneLevel;
  std::vector<std::u16string> rgsGroups;
};

using GroupMessageTest = GroupTest;

}  // namespace

TEST_F(GroupMessageTest, ParsesScopeGroupsAndTheirPendingDomainAndType) {
  const CParseCase rgCases[] = {
      {"subtree; the second group takes the first's domain and type",
       "<Scope traverse=\"subtree\"/><GroupName domain=\"TREE\" type=\"NDS\">a</GroupName><GroupName>b</GroupName>",
       GROUPS_ANSWERED, false, {u"TREE|a|2", u"TREE|b|2"}},
      {"onelevel", "<Scope traverse=\"onelevel\"/>" + Group("g", "D"), GROUPS_ANSWERED, true, {u"D|g|1"}},
      {"another scope value changes nothing",
       "<Scope traverse=\"subtree\"/><Scope traverse=\"deep\"/>" + Group("g", "D"), GROUPS_ANSWERED, false,
       {u"D|g|1"}},
      {"type in lower case", Group("g", "D", "nt"), GROUPS_ANSWERED, true, {u"D|g|0"}},
      {"Unix", Group("g", "D", "Unix"), GROUPS_ANSWERED, true, {u"D|g|3"}},
      {"no domain yet", "<GroupName>g</GroupName>" + Group("h", "D"), GROUPS_BAD_REQUEST, true, {u"D|h|1"}},
      {"Credentials never closed", Group("g", "D") + "<Credentials/>", GROUPS_BAD_REQUEST, true, {u"D|g|1"}},
      {"no groups", "", GROUPS_ANSWERED, true, {}},
  };
  for (const CParseCase& c : rgCases) {
    CGroupAnswer answer = Answer(Request(c.sChildren), false);
    EXPECT_EQ(answer.nResult, c.nResult) << c.pszName;
    if (c.nResult == GROUPS_ANSWERED) {
      EXPECT_EQ(answer.seen.fOneLevel, c.fOneLevel) << c.pszName;
      EXPECT_EQ(answer.seen.rgsGroups, c.rgsGroups) << c.pszName;
    } else {
      EXPECT_NE(answer.sBody.find("<ErrorId>bad-request</ErrorId>"), std::string::npos) << c.pszName;
    }
  }
  // The group without a domain is named in the answer's comment.
  EXPECT_NE(Answer(Request("<GroupName>g</GroupName>")).sBody.find(
                "<!-- Missing either the UserName or the DomainName -->"),
            std::string::npos);
  // Not a group request: nothing is written.
  CGroupAnswer other = Answer("<?xml version=\"1.0\"?><AdminProtocol><RequestChangePassword/></AdminProtocol>");
  EXPECT_EQ(other.nResult, GROUPS_REFUSED);
  EXPECT_EQ(other.sBody, "");
}

TEST_F(GroupMessageTest, ReadsCredentialsUpToTheirOwnEndTag) {
  CGroupAnswer answer = Answer(Request(Group("g", "T", "NDS") +
                                      "<Credentials><UserName>.admin.acme</UserName><Extra><X/></Extra>"
                                      "<Domain type=\"NDS\">T</Domain><Password>p&#32;w</Password></Credentials>" +
                                      Group("h", "T", "NDS")),
                              false);
  ASSERT_EQ(answer.nResult, GROUPS_ANSWERED);
  EXPECT_EQ(answer.seen.sUser, u".admin.acme");
  EXPECT_EQ(answer.seen.sDomain, u"T");
  EXPECT_EQ(answer.seen.nDomainType, 2u);
  EXPECT_EQ(answer.seen.sPassword, u"p w");
  EXPECT_EQ(answer.seen.rgsGroups.size(), 2u);
}

TEST_F(GroupMessageTest, DecodesOnlyVlt1Passwords) {
  struct {
    std::string sPassword;
    const char* pszEncoding;
    std::u16string sExpected;
  } rgCases[] = {
      {Vlt1("Secret#Pass1"), "vlt1", u"Secret#Pass1"},  // 24 characters of vlt1 text
      {Vlt1("Secret"), "vlt1", u"Secret"},              // 12
      {"AB", "vlt1", u"\\"},                            // the byte 0x01, chained with 0x5D
      {"ABC", "vlt1", u"\\"},                           // an odd last character is ignored
      {"PlainPass12", "", u"PlainPass12"},              // plain text stays as sent
      {Vlt1("Secret"), "rot13", u""},                   // unknown encodings are not decoded
      {std::string(1026, 'A'), "vlt1", u""},            // too long to be decoded
  };
  for (auto& c : rgCases) {
    if (c.sExpected.empty()) c.sExpected = std::u16string(c.sPassword.begin(), c.sPassword.end());
    std::string sEncoding = *c.pszEncoding ? std::string(" encoding=\"") + c.pszEncoding + "\"" : "";
    CGroupAnswer answer =
        Answer(Request("<Credentials><Password" + sEncoding + ">" + c.sPassword + "</Password></Credentials>"), false);
    EXPECT_EQ(answer.seen.sPassword, c.sExpected) << c.sPassword;
  }
}

// Group identity is name, domain and type; equal groups hash alike.
TEST(GroupNameTest, ComparesNameDomainAndType) {
  CGroupName nt, nds, nt2, empty;
  nt.Set(u"g", u"D", 1);
  nds.Set(u"g", u"D", 2);
  nt2.Set(u"g", u"D", 1);
  EXPECT_FALSE(nt.Equals(nds));
  EXPECT_TRUE(nt.Equals(nt2));
  EXPECT_EQ(nt.Hash(), nt2.Hash());
  EXPECT_FALSE(empty.Set(u"g", nullptr, 1));
  EXPECT_EQ(empty.Name(), nullptr);
  EXPECT_EQ(empty.Hash(), 0u);

  // The set finds equal groups; the stack hands them back last first, also
  // past its first capacity.
  GroupNameSet set(101);
  GroupStack stack(2);
  for (int i = 0; i < 300; ++i) {
    auto* pGroup = new CGroupName();
    std::u16string sName = u"g" + std::u16string(1, static_cast<char16_t>(u'0' + i % 50)) + u"x" +
                           std::u16string(1, static_cast<char16_t>(u'0' + i / 50));
    pGroup->Set(sName.c_str(), u"D", 1);
    ASSERT_FALSE(set.Contains(pGroup));
    ASSERT_TRUE(set.Insert(pGroup));
    ASSERT_TRUE(stack.Push(pGroup));
  }
  CGroupName probe;
  probe.Set(u"g7x5", u"D", 1);
  EXPECT_TRUE(set.Contains(&probe));
  EXPECT_EQ(std::u16string(stack.Pop()->Name()), u"g" + std::u16string(1, u'0' + 299 % 50) + u"x5");
  int cLeft = 0;
  while (stack.Pop() != nullptr) ++cLeft;
  EXPECT_EQ(cLeft, 299);
  set.Clear();
}
