// The direct peer of samba_run.sh: a minimal libldap client on one ldaps
// connection, bound once as the administrator and kept open.
//   ldap_change_client URI BINDDN BINDPW BASE create
//       reads "NAME PASSWORD" lines and adds each user (enabled, with that
//       password and NAME@<domain of BASE> as user principal name)
//   ldap_change_client URI BINDDN BINDPW BASE change
//       reads "UPN OLD NEW" lines and makes each change as a unicodePwd
//       delete (old) / add (new) on the user's DN, found once beforehand;
//       prints one line per change: its latency in microseconds
// The CA comes from LDAPTLS_CACERT. Exit status 1 if anything fails.
#include <ldap.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// unicodePwd: the password in double quotes, UTF-16LE (ASCII passwords only).
std::string QuotedUtf16(const std::string& s) {
  std::string out;
  for (char c : "\"" + s + "\"") {
    out += c;
    out += '\0';
  }
  return out;
}

void Wipe(std::string& s) {
  volatile char* p = s.data();
  for (size_t i = 0; i < s.size(); ++i) p[i] = 0;
}

int Modify(LDAP* ld, const std::string& dn, std::string oldPw, std::string newPw) {
  std::string oldValue = QuotedUtf16(oldPw), newValue = QuotedUtf16(newPw);
  berval oldBv{static_cast<ber_len_t>(oldValue.size()), oldValue.data()};
  berval newBv{static_cast<ber_len_t>(newValue.size()), newValue.data()};
  berval* rgOld[] = {&oldBv, nullptr};
  berval* rgNew[] = {&newBv, nullptr};
  LDAPMod del{}, add{};
  del.mod_op = LDAP_MOD_DELETE | LDAP_MOD_BVALUES;
  del.mod_type = const_cast<char*>("unicodePwd");
  del.mod_bvalues = rgOld;
  add.mod_op = LDAP_MOD_ADD | LDAP_MOD_BVALUES;
  add.mod_type = const_cast<char*>("unicodePwd");
  add.mod_bvalues = rgNew;
  LDAPMod* rgMods[] = {&del, &add, nullptr};
  int rc = ldap_modify_ext_s(ld, dn.c_str(), rgMods, nullptr, nullptr);
  Wipe(oldValue);
  Wipe(newValue);
  Wipe(oldPw);
  Wipe(newPw);
  return rc;
}

std::string FindDn(LDAP* ld, const std::string& base, const std::string& upn) {
  std::string filter = "(userPrincipalName=" + upn + ")";
  const char* rgAttrs[] = {"1.1", nullptr};
  LDAPMessage* res = nullptr;
  std::string dn;
  if (ldap_search_ext_s(ld, base.c_str(), LDAP_SCOPE_SUBTREE, filter.c_str(), const_cast<char**>(rgAttrs), 0,
                        nullptr, nullptr, nullptr, 0, &res) == LDAP_SUCCESS) {
    LDAPMessage* entry = ldap_first_entry(ld, res);
    if (entry != nullptr) {
      char* psz = ldap_get_dn(ld, entry);
      dn = psz;
      ldap_memfree(psz);
    }
  }
  ldap_msgfree(res);
  return dn;
}

int Create(LDAP* ld, const std::string& base) {
  std::string domain;  // DC=example,DC=test -> example.test
  std::istringstream parts(base);
  for (std::string part; std::getline(parts, part, ',');)
    domain += (domain.empty() ? "" : ".") + part.substr(part.find('=') + 1);
  std::string name, password;
  while (std::cin >> name >> password) {
    std::string dn = "CN=" + name + ",CN=Users," + base, upn = name + "@" + domain;
    std::string pw = QuotedUtf16(password);
    char* rgClass[] = {const_cast<char*>("top"), const_cast<char*>("person"),
                       const_cast<char*>("organizationalPerson"), const_cast<char*>("user"), nullptr};
    char* rgSam[] = {name.data(), nullptr};
    char* rgUpn[] = {upn.data(), nullptr};
    char* rgUac[] = {const_cast<char*>("512"), nullptr};
    berval pwBv{static_cast<ber_len_t>(pw.size()), pw.data()};
    berval* rgPw[] = {&pwBv, nullptr};
    LDAPMod mClass{LDAP_MOD_ADD, const_cast<char*>("objectClass"), {rgClass}};
    LDAPMod mSam{LDAP_MOD_ADD, const_cast<char*>("sAMAccountName"), {rgSam}};
    LDAPMod mUpn{LDAP_MOD_ADD, const_cast<char*>("userPrincipalName"), {rgUpn}};
    LDAPMod mUac{LDAP_MOD_ADD, const_cast<char*>("userAccountControl"), {rgUac}};
    LDAPMod mPw{};
    mPw.mod_op = LDAP_MOD_ADD | LDAP_MOD_BVALUES;
    mPw.mod_type = const_cast<char*>("unicodePwd");
    mPw.mod_bvalues = rgPw;
    LDAPMod* rgMods[] = {&mClass, &mSam, &mUpn, &mUac, &mPw, nullptr};
    int rc = ldap_add_ext_s(ld, dn.c_str(), rgMods, nullptr, nullptr);
    Wipe(pw);
    Wipe(password);
    if (rc != LDAP_SUCCESS) {
      std::fprintf(stderr, "ldap_change_client: adding %s: %s\n", name.c_str(), ldap_err2string(rc));
      return 1;
    }
  }
  return 0;
}

int Change(LDAP* ld, const std::string& base) {
  struct Item {
    std::string upn, oldPw, newPw;
  };
  std::vector<Item> rgItems;
  for (Item item; std::cin >> item.upn >> item.oldPw >> item.newPw;) rgItems.push_back(item);
  std::map<std::string, std::string> dns;  // resolved before timing starts
  for (const Item& item : rgItems) {
    std::string& dn = dns[item.upn];
    if (dn.empty()) dn = FindDn(ld, base, item.upn);
    if (dn.empty()) {
      std::fprintf(stderr, "ldap_change_client: no user %s\n", item.upn.c_str());
      return 1;
    }
  }
  for (Item& item : rgItems) {
    auto start = std::chrono::steady_clock::now();
    int rc = Modify(ld, dns[item.upn], item.oldPw, item.newPw);
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    Wipe(item.oldPw);
    Wipe(item.newPw);
    if (rc != LDAP_SUCCESS) {
      std::fprintf(stderr, "ldap_change_client: change for %s: %s\n", item.upn.c_str(), ldap_err2string(rc));
      return 1;
    }
    std::printf("%lld\n", static_cast<long long>(us.count()));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: ldap_change_client URI BINDDN BINDPW BASE create|change\n");
    return 2;
  }
  LDAP* ld = nullptr;
  if (ldap_initialize(&ld, argv[1]) != LDAP_SUCCESS) return 1;
  int nVersion = LDAP_VERSION3;
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &nVersion);
  ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  berval cred{std::strlen(argv[3]), argv[3]};
  int rc = ldap_sasl_bind_s(ld, argv[2], LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, nullptr);
  if (rc != LDAP_SUCCESS) {
    std::fprintf(stderr, "ldap_change_client: bind: %s\n", ldap_err2string(rc));
    return 1;
  }
  std::string mode = argv[5];
  rc = mode == "create" ? Create(ld, argv[4]) : mode == "change" ? Change(ld, argv[4]) : 2;
  ldap_unbind_ext_s(ld, nullptr, nullptr);
  return rc;
}
