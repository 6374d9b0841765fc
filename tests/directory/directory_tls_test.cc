// Directory password changes over TLS: ldaps and StartTLS with the
// server's certificate verified against the configured CA file.
#include <string>

#include "host_test.h"
#include "slapd_server.h"

namespace {

class DirectoryTls : public HostWithExtension {
 protected:
  void SetUp() override { ASSERT_TRUE(m_slapd.Started()); }
  std::string Change(const std::string& sUser) {
    return Answer(ChangeRequest(sUser + "@example.test", "Passw0rd!", "N3w-Secret"));
  }
  CSlapdServer m_slapd{true};
};

}  // namespace

TEST_F(DirectoryTls, ChangesOverLdapsAndStartTlsOnlyWithAVerifiedServer) {
  StartHost(m_slapd.Registry(m_slapd.TlsUri(), m_slapd.OtherCaFile()));
  EXPECT_EQ(Change("alice"), "operation-failed");
  // Plain LDAP is refused unless allowed for a loopback server.
  UseRegistry(m_slapd.Registry(m_slapd.Uri(), m_slapd.OtherCaFile()));
  EXPECT_EQ(Change("alice"), "operation-failed");
  EXPECT_TRUE(m_slapd.CanBind("uid=alice,ou=people,dc=example,dc=test", "Passw0rd!"));

  UseRegistry(m_slapd.Registry(m_slapd.TlsUri(), m_slapd.CaFile()));
  EXPECT_EQ(Change("alice"), "");
  EXPECT_TRUE(m_slapd.CanBind("uid=alice,ou=people,dc=example,dc=test", "N3w-Secret"));
  UseRegistry(m_slapd.Registry(m_slapd.Uri(), m_slapd.CaFile()));
  EXPECT_EQ(Change("carol"), "");
  EXPECT_TRUE(m_slapd.CanBind("uid=carol,ou=people,dc=example,dc=test", "N3w-Secret"));
}
