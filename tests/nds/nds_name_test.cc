// NDS names to DNs and back, without a directory.
#include <gtest/gtest.h>

#include "platform/netwin32/nds_name.h"

using namespace netwin32;

namespace {

const CNamingRules kRules = {"dc=tree,dc=test", "cn", {"o", "ou"}};

NWDSCCODE ToDn(const char* pszContext, const char* pszName, std::string* psDn) {
  CNdsName context;
  CNdsName name;
  EXPECT_EQ(ParseNdsName(pszContext, {}, &context), 0);
  NWDSCCODE nCode = ParseNdsName(pszName, context, &name);
  if (nCode == 0) *psDn = NdsNameToDn(name, kRules, false);
  return nCode;
}

}  // namespace

TEST(NdsName, NamesMapToEscapedDnsAndMalformedOnesAreRefused) {
  const struct {
    const char* pszContext;
    const char* pszName;
    const char* pszDn;
  } cases[] = {
      {"[Root]", ".jsmith.sales.acme", "cn=jsmith,ou=sales,o=acme,dc=tree,dc=test"},
      {"acme", "jsmith.sales", "cn=jsmith,ou=sales,o=acme,dc=tree,dc=test"},
      {"sales.acme", "bob.marketing.", "cn=bob,ou=marketing,o=acme,dc=tree,dc=test"},
      {"[Root]", ".CN=a+UID=b.OU=x\\.y.O=acme", "cn=a+uid=b,ou=x.y,o=acme,dc=tree,dc=test"},
      {"[Root]", ".S=ca.C=us", "st=ca,c=us,dc=tree,dc=test"},
      {"[Root]", ".a*b,c+d\\=e.sales.acme", nullptr},  // "+" needs types
      {"[Root]", ".a*b,c\\+d\\=e;<x>\\\\.sales.acme", "cn=a*b\\,c\\+d\\=e\\;\\<x\\>\\\\,ou=sales,o=acme,dc=tree,dc=test"},
      {"[Root]", ". lead#.sales.acme", "cn=\\ lead#,ou=sales,o=acme,dc=tree,dc=test"},
      {"[Root]", ".#x .acme", "cn=\\#x\\ ,o=acme,dc=tree,dc=test"},
      {"[Root]", ".j\xe9r\xf4me.acme", "cn=j\xc3\xa9r\xc3\xb4me,o=acme,dc=tree,dc=test"},
      {"[Root]", "[root]", "dc=tree,dc=test"},
  };
  // Malformed names are refused.
  for (const char* pszName :
       {"", ".", "..acme", ".a..b", "a\\", ".a.b.", "jsmith..", ".CN=", ".=x", ".CN=a+b", ".1x=a"}) {
    std::string sDn;
    EXPECT_EQ(ToDn("acme", pszName, &sDn), NDS_ERR_INVALID_DS_NAME) << pszName;
  }
  std::string sLong;
  EXPECT_EQ(ToDn("[Root]", ("." + std::string(MAX_DN_CHARS, 'x')).c_str(), &sLong), NDS_ERR_DN_TOO_LONG);
  for (const auto& test : cases) {
    std::string sDn;
    NWDSCCODE nCode = ToDn(test.pszContext, test.pszName, &sDn);
    if (test.pszDn == nullptr) {
      EXPECT_EQ(nCode, NDS_ERR_INVALID_DS_NAME) << test.pszName;
    } else {
      EXPECT_EQ(nCode, 0) << test.pszName;
      EXPECT_EQ(sDn, test.pszDn);
    }
  }
}

TEST(NdsName, DnsReadBackAsNames) {
  const struct {
    const char* pszDn;
    const char* pszName;  // null: not a name of the tree
  } cases[] = {
      {"cn=jsmith,ou=sales,o=acme,dc=tree,dc=test", ".jsmith.sales.acme"},
      {"CN=jsmith,OU=sales,O=acme,DC=Tree,DC=test", ".jsmith.sales.acme"},
      {"uid=alice,ou=people,dc=tree,dc=test", ".UID=alice.OU=people"},
      {"cn=x\\2Cy,ou=sales,o=acme,dc=tree,dc=test", ".x,y.sales.acme"},
      {"cn=dot.ted+uid=d\\=t,o=acme,dc=tree,dc=test", ".CN=dot\\.ted+UID=d\\=t.O=acme"},
      {"dc=tree,dc=test", "[Root]"},
      {"cn=a,dc=other,dc=test", nullptr},
      {"cn=#04024869,o=acme,dc=tree,dc=test", nullptr},
      {"cn=a,,dc=tree,dc=test", nullptr},
      {"cn=a\\", nullptr},
  };
  for (const auto& test : cases) {
    std::string sName;
    bool fName = DnToNdsName(test.pszDn, kRules, &sName);
    EXPECT_EQ(fName, test.pszName != nullptr) << test.pszDn;
    if (fName && test.pszName != nullptr) {
      EXPECT_EQ(sName, test.pszName);
    }
  }
  EXPECT_EQ(EscapeFilterValue("a*(b)\\\x01"), "a\\2a\\28b\\29\\5c\\01");
}
