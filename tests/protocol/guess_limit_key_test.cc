// How the guessing limits tell users and addresses apart.
#include <gtest/gtest.h>

#include "admin/password/guess_limit.h"

namespace {

TEST(GuessLimitKeys, AddressesAndTheirPrefixes) {
  const struct {
    const char* pszAddress;
    const char* pszKey;
  } cases[] = {
      {"127.0.0.1", "127.0.0.1"},
      {"2001:db8:1:2:3:4:5:6", "2001:db8:1:2::/64"},
      {"2001:DB8:1:2::9", "2001:db8:1:2::/64"},
      {"2001:db8::1", "2001:db8:0:0::/64"},
      {"::1", "0:0:0:0::/64"},
      {"fe80::1%eth0", "fe80:0:0:0::/64"},
      {"::ffff:10.0.0.1", "::ffff:10.0.0.1"},  // as given: not taken apart
      {"1:2:3:4:5:6:7:8:9", "1:2:3:4:5:6:7:8:9"},
      {"12345::1", "12345::1"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CGuessLimiter::AddressKey(c.pszAddress), c.pszKey) << c.pszAddress;
}

TEST(GuessLimitKeys, UsersIgnoreCaseAndKeepTheirDomain) {
  EXPECT_EQ(CGuessLimiter::UserKey(1, u"Demo", u"ALICE"), CGuessLimiter::UserKey(1, u"DEMO", u"alice"));
  EXPECT_NE(CGuessLimiter::UserKey(1, u"DEMO", u"alice"), CGuessLimiter::UserKey(2, u"DEMO", u"alice"));
  EXPECT_NE(CGuessLimiter::UserKey(1, u"DEMO", u"alice"), CGuessLimiter::UserKey(1, u"OTHER", u"alice"));
  EXPECT_NE(CGuessLimiter::UserKey(0, u"a", u"b\nc"), CGuessLimiter::UserKey(0, u"a\nb", u"c"));
  std::u16string longName(5000, u'x');
  EXPECT_EQ(CGuessLimiter::UserKey(1, u"D", longName.c_str()).size(), 256u) << "bounded";
}

}  // namespace
