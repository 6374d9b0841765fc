// The slapd of the NDS tests (nds_tree.sh) and the registry text of its tree.
#pragma once

#include <string>

#include "fixture_support.h"

inline constexpr const char* kPassword = "Passw0rd!";

// The DN of a user of ou=sales (the name as a DN writes it).
inline std::string SalesDn(const std::string& sCn) { return "cn=" + sCn + ",ou=sales,o=acme,dc=tree,dc=test"; }

class CNdsTree : public vlttest::CSlapd {
 public:
  explicit CNdsTree(bool fTls = false) : CSlapd("nds/nds_tree.sh", fTls) {}

  // The registry key of the tree ACME on this server; more values may follow.
  std::string Registry(const std::string& sMore = "\"AllowPlainLoopback\"=dword:00000001\r\n",
                       const std::string& sUri = "") const {
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\NDS\\Trees\\ACME]\r\n\"Servers\"=\"" +
           (sUri.empty() ? Uri() : sUri) + "\"\r\n\"RootDN\"=\"dc=tree,dc=test\"\r\n\"NetworkTimeout\"=dword:00000003\r\n" +
           sMore + "\r\n";
  }
};
