// One bound connection to the directory, shared by the objects made through
// it. Reference counted: every object holds one reference. Connections of
// the service's identity come from the pool and go back to it.
//
// While a session of the service's identity is alive, the thread that
// opened it gets the same session again from Open (with the same
// settings): objects made one after the other in one task (a group, its
// members, the name translators of their paths) share one connection and
// what it has already read. What a session has read about entries lives as
// long as the session.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ldap/directory_connection.h"
#include "platform/base/wintypes.h"

// What the objects of the library need to know of an entry: its classes and
// its account name (sAMAccountName on Active Directory; elsewhere uid, or
// the cn of a group).
struct CEntryFacts {
  std::vector<std::string> rgsClasses;
  std::string sAccount;
  bool HasClass(const char* pszClass) const;
};

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

  // The facts of an entry: from what the session has read before, else one
  // read. HRESULT_FROM_WIN32(8240) when there is no such entry.
  HRESULT EntryFacts(const std::string& sDn, CEntryFacts* pFacts);
  // Reads the facts of every entry below the search base that matches the
  // filter, in pages, for later EntryFacts calls.
  HRESULT PrefetchFacts(const std::string& sFilter);

 private:
  CDirectorySession() = default;
  ~CDirectorySession();
  // Another reference to a live session of the calling thread with these
  // settings, or null.
  static CDirectorySession* FindShared(const std::string& sKey);
  // The attributes that EntryFacts reads.
  std::vector<std::string> FactAttributes();
  void RememberFacts(LDAP* pld, LDAPMessage* pEntry);

  std::atomic<ULONG> m_cRef{1};
  LDAP* m_pld = nullptr;
  platform::CDirectorySettings m_settings;
  int m_nDirectoryKind = -1;  // -1 not yet known, 0 other, 1 Active Directory
  bool m_fPooled = false;     // a service-identity connection, returned on release
  bool m_fBroken = false;
  std::string m_sSharedKey;  // the settings' key, for a shared session
  std::thread::id m_idThread;
  std::map<std::string, CEntryFacts> m_facts;  // by lower-case DN
};

// The HRESULT that an LDAP result code of this session's connection stands
// for; records the extended error for ADsGetLastError.
HRESULT HresultFromLdap(LDAP* pld, int nCode);
// An LDAP filter value with the special characters escaped.
std::string EscapeFilterValue(const std::string& s);
