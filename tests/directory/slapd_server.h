// The private slapd of the directory tests and the registry text that points
// the directory-services library at it.
#pragma once

#include <string>

#include "fixture_support.h"
#include "test_registry.h"

// A private slapd with the password policy (slapd_fixture.sh): users
// uid=alice|bob|carol,ou=people,dc=example,dc=test with "Passw0rd!". With
// fTls, also ldaps and StartTLS.
class CSlapdServer : public vlttest::CSlapd {
 public:
  explicit CSlapdServer(bool fTls = false) : CSlapd("directory/slapd_fixture.sh", fTls) {}

  // Starts it and writes the service's password file, SecretFile().
  bool Started() {
    if (Start() != 0) return false;
    vlttest::WriteSecret(SecretFile(), "rootsecret");
    return true;
  }
  std::string SecretFile() const { return Dir() + "/bind.secret"; }
  // The registry for this server (plain LDAP unless a CA file is given).
  std::string Registry(const std::string& uri = "", const std::string& caFile = "") const {
    return vlttest::DirectoryServices(uri.empty() ? Uri() : uri, vlttest::BindIdentity("cn=admin,dc=example,dc=test", SecretFile()),
                             caFile);
  }
};
