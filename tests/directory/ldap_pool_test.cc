// The pool of bound service connections, against the private slapd: at most
// kMaxIdleConnections idle ones per identity, reused before any new one, and
// a connection that lost its server takes the idle ones with it.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/ldap/directory_connection.h"
#include "slapd_server.h"

namespace {

using platform::kMaxIdleConnections;

// Connections of this machine to the port that are established (the
// tests' slapd serves this process only).
size_t EstablishedTo(unsigned short nPort) {
  std::ifstream in("/proc/net/tcp");
  size_t n = 0;
  char szPort[8];
  snprintf(szPort, sizeof szPort, ":%04X", nPort);
  for (std::string line; std::getline(in, line);) {
    // "sl local_address rem_address st ...": the remote port, then the state.
    size_t at = line.find(':', line.find(':', line.find(':') + 1) + 1);
    n += at != std::string::npos && line.compare(at, 5, szPort) == 0 && line.compare(at + 6, 2, "01") == 0;
  }
  return n;
}

TEST(LdapPoolTest, IdleConnectionsAreBoundedReusedAndEvictedTogether) {
  CSlapdServer slapd;
  ASSERT_TRUE(slapd.Started());
  vlttest::ScopedRegistryFile registry;
  registry.Use(slapd.Registry());
  platform::CDirectorySettings settings;
  ASSERT_TRUE(platform::ReadDirectorySettings(&settings));
  std::vector<LDAP*> rgpld(kMaxIdleConnections + 2);
  for (LDAP*& pld : rgpld) ASSERT_EQ(platform::AcquireServiceConnection(settings, &pld), LDAP_SUCCESS);
  EXPECT_EQ(EstablishedTo(slapd.Port(0)), rgpld.size());
  for (LDAP* pld : rgpld) platform::ReturnServiceConnection(settings, pld, true);
  EXPECT_EQ(EstablishedTo(slapd.Port(0)), kMaxIdleConnections);
  // The idle ones come first: no new connection.
  for (size_t i = 0; i < kMaxIdleConnections; ++i)
    ASSERT_EQ(platform::AcquireServiceConnection(settings, &rgpld[i]), LDAP_SUCCESS);
  EXPECT_EQ(EstablishedTo(slapd.Port(0)), kMaxIdleConnections);
  for (size_t i = 0; i + 1 < kMaxIdleConnections; ++i) platform::ReturnServiceConnection(settings, rgpld[i], true);
  platform::ReturnServiceConnection(settings, rgpld[kMaxIdleConnections - 1], false);
  EXPECT_EQ(EstablishedTo(slapd.Port(0)), 0u);
}

}  // namespace
