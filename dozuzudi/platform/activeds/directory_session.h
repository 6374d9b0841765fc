// One bound connection to the directory, shared by the objects made through
// it. Reference counted: every object holds one reference. Connections of
// the service's identity come from the pool and go back to it.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/ldap/directory_connection.h"
#include "platform/base/wintypes.h"

class CDirectorySession {
 public:
  // Connects and binds: no user name means the service's identity, else a
  // simple bind with the name (a DN) and password.
  static HRESULT Open(const std::string& sUser, const std::string& sPassword,
                      CDirectorySession** ppSession);

  void AddRef() { m_cRef.fetch_add(1); }
  void Release();

  LDAP* Connection() const { return m_pld; }
  const platform::CDirectorySettings& Settings() const { return m_settings; }
  // Active Directory (Samba's included) or another LDAP directory, from the
  // root DSE; read once.
  bool IsActiveDirectory();
  // The values of one attribute of one entry (base search).
  HRESULT ReadAttribute(const std::string& sDn, const char* pszAttribute,
                        std::vector<std::string>* prgsValues);
  // The values of several attributes of one entry, in one search.
  HRESULT ReadAttributes(const std::string& sDn, const std::vector<const char*>& rgpszNames,
                         std::vector<std::vector<std::string>>* prgrgsValues);
  // The DNs of the entries under the search base that match the filter.
  HRESULT FindEntries(const std::string& sFilter, std::vector<std::string>* prgsDns);
  // Notes the result of an operation on the connection: one that lost the
  // server keeps the connection from being reused.
  void NoteResult(int nCode);

 private:
  CDirectorySession() = default;
  ~CDirectorySession();

  std::atomic<ULONG> m_cRef{1};
  LDAP* m_pld = nullptr;
  platform::CDirectorySettings m_settings;
  int m_nDirectoryKind = -1;  // -1 not yet known, 0 other, 1 Active Directory
  bool m_fPooled = false;     // a service-identity connection, returned on release
  bool m_fBroken = false;
};

// The HRESULT that an LDAP result code of this session's connection stands
// for; records the extended error for ADsGetLastError.
HRESULT HresultFromLdap(LDAP* pld, int nCode);
// An LDAP filter value with the special characters escaped.
std::string EscapeFilterValue(const std::string& s);
