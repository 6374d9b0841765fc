// A Kerberos configuration held in memory (a profile with our own back end),
// so that a change to a KDC named in the registry never reads
// /etc/krb5.conf or needs KRB5_CONFIG: the realm, its KDC and its password
// server, no DNS lookups, TCP first.
#pragma once

#include <string>

struct _profile_t;

namespace platform {

class CKerberosProfile {
 public:
  // |kpasswdServer| empty: the KDC's host on port 464.
  CKerberosProfile(std::string realm, std::string kdc, std::string kpasswdServer);
  CKerberosProfile(const CKerberosProfile&) = delete;
  CKerberosProfile& operator=(const CKerberosProfile&) = delete;

  // A new profile that answers from this object, which must outlive it and
  // every context made from it. Null on failure; free with profile_release.
  _profile_t* NewProfile();

  // The value for a relation path such as {"realms", "EXAMPLE.TEST", "kdc"};
  // null when there is none.
  const std::string* Lookup(const char* const* ppszNames) const;

 private:
  std::string m_realm, m_kdc, m_kpasswdServer;
};

// "host:port" or "[v6]:port" without its port.
std::string HostOfAddress(const std::string& address);

}  // namespace platform
