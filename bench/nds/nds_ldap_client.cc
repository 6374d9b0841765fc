// The direct peer of bench/nds/run.sh: a minimal libldap client on one
// kept-open connection that, for each "DN OLD NEW" line of its input, binds
// as the DN with OLD and sends the password modify (RFC 3062) from OLD to
// NEW, both with the password-policy request control, as the NDS client
// library does.
//   nds_ldap_client URI < changes
// Prints one line per change (its latency in microseconds), then
// "total <microseconds>" and "span <start> <end>" (the steady clock in
// microseconds, which all processes share: a block of several clients
// runs from the first start to the last end). Exit status 1 when a change is refused.
#include <ldap.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

LDAPControl ms_policy = {const_cast<char*>(LDAP_CONTROL_PASSWORDPOLICYREQUEST), {0, nullptr}, 0};
LDAPControl* ms_rgpControls[] = {&ms_policy, nullptr};

int ChangeOne(LDAP* pld, std::string& sDn, std::string& sOld, std::string& sNew) {
  berval bvOld = {static_cast<ber_len_t>(sOld.size()), sOld.data()};
  int nCode = ldap_sasl_bind_s(pld, sDn.c_str(), LDAP_SASL_SIMPLE, &bvOld, ms_rgpControls, nullptr, nullptr);
  if (nCode != LDAP_SUCCESS) return nCode;
  berval bvDn = {static_cast<ber_len_t>(sDn.size()), sDn.data()};
  berval bvNew = {static_cast<ber_len_t>(sNew.size()), sNew.data()};
  berval bvGenerated = {0, nullptr};  // a password the server made up; none here
  nCode = ldap_passwd_s(pld, &bvDn, &bvOld, &bvNew, &bvGenerated, ms_rgpControls, nullptr);
  ber_memfree(bvGenerated.bv_val);
  return nCode;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: nds_ldap_client URI < changes\n");
    return 2;
  }
  struct Change {
    std::string sDn, sOld, sNew;
  };
  std::vector<Change> rgChanges;
  for (Change c; std::cin >> c.sDn >> c.sOld >> c.sNew;) rgChanges.push_back(c);
  LDAP* pld = nullptr;
  int nVersion = LDAP_VERSION3;
  if (ldap_initialize(&pld, argv[1]) != LDAP_SUCCESS ||
      ldap_set_option(pld, LDAP_OPT_PROTOCOL_VERSION, &nVersion) != LDAP_SUCCESS) {
    std::fprintf(stderr, "nds_ldap_client: cannot use %s\n", argv[1]);
    return 1;
  }
  auto start = std::chrono::steady_clock::now();
  for (Change& c : rgChanges) {
    auto begin = std::chrono::steady_clock::now();
    int nCode = ChangeOne(pld, c.sDn, c.sOld, c.sNew);
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin);
    if (nCode != LDAP_SUCCESS) {
      std::fprintf(stderr, "nds_ldap_client: change for %s: %s\n", c.sDn.c_str(), ldap_err2string(nCode));
      return 1;
    }
    std::printf("%lld\n", static_cast<long long>(us.count()));
  }
  auto total = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  std::printf("total %lld\nspan %lld %lld\n", static_cast<long long>(total.count()),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(
                  start.time_since_epoch()).count()),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(
                  std::chrono::steady_clock::now().time_since_epoch()).count()));
  ldap_unbind_ext_s(pld, nullptr, nullptr);
  return 0;
}
