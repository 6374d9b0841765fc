#include "platform/ldap/directory_connection.h"

#include "platform/ldap/ldap_gssapi.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

namespace platform {
namespace {

bool IsLoopbackUri(const std::string& sUri) {
  size_t nStart = sUri.find("://");
  if (nStart == std::string::npos) return false;
  std::string sHost = sUri.substr(nStart + 3);
  return sHost.rfind("127.", 0) == 0 || sHost.rfind("[::1]", 0) == 0 ||
         sHost.rfind("localhost", 0) == 0;
}

// libldap sets up its global options on first use without a lock; two
// workers opening their first connections at once would race there.
void InitializeLibraryOnce() {
  static std::once_flag s_once;
  std::call_once(s_once, [] {
    int nVersion = 0;
    ldap_get_option(nullptr, LDAP_OPT_PROTOCOL_VERSION, &nVersion);
  });
}

// Set when libldap has a TCP connection, before any TLS handshake, so that
// a failed ldaps connection tells a TLS failure from an unreachable server.
thread_local bool t_fTransportUp = false;

int NoteTransportUp(LDAP*, Sockbuf*, LDAPURLDesc*, sockaddr*, ldap_conncb*) {
  t_fTransportUp = true;
  return 0;
}
void NoteTransportDown(LDAP*, Sockbuf*, ldap_conncb*) {}
ldap_conncb s_transportCallbacks = {NoteTransportUp, NoteTransportDown, nullptr};

int ConnectOne(const CConnectionSettings& settings, const std::string& sUri, LDAP** ppld) {
  InitializeLibraryOnce();
  LDAP* pld = nullptr;
  int nCode = ldap_initialize(&pld, sUri.c_str());
  if (nCode != LDAP_SUCCESS) return nCode;
  ldap_set_option(pld, LDAP_OPT_CONNECT_CB, &s_transportCallbacks);
  t_fTransportUp = false;
  int nVersion = LDAP_VERSION3;
  ldap_set_option(pld, LDAP_OPT_PROTOCOL_VERSION, &nVersion);
  ldap_set_option(pld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  timeval tv = {static_cast<time_t>(settings.nTimeoutSeconds), 0};
  ldap_set_option(pld, LDAP_OPT_TIMEOUT, &tv);
  bool fLdaps = sUri.rfind("ldaps://", 0) == 0;
  bool fPlain = !fLdaps && settings.fAllowPlainLoopback && IsLoopbackUri(sUri);
  // A network timeout on a TLS connection makes libldap's handshake spin;
  // it is set for connections that stay plain until StartTLS only.
  if (!fLdaps) ldap_set_option(pld, LDAP_OPT_NETWORK_TIMEOUT, &tv);
  if (!fPlain) {
    int nDemand = LDAP_OPT_X_TLS_DEMAND;
    ldap_set_option(pld, LDAP_OPT_X_TLS_REQUIRE_CERT, &nDemand);
    if (!settings.sCaFile.empty())
      ldap_set_option(pld, LDAP_OPT_X_TLS_CACERTFILE, settings.sCaFile.c_str());
    int nNewContext = 0;
    ldap_set_option(pld, LDAP_OPT_X_TLS_NEWCTX, &nNewContext);
  }
  if (fLdaps)
    nCode = ldap_connect(pld);
  else if (!fPlain && settings.fStartTls)
    nCode = ldap_start_tls_s(pld, nullptr, nullptr);
  else if (!fPlain)
    nCode = LDAP_CONFIDENTIALITY_REQUIRED;  // plain LDAP to a remote server
  else
    nCode = ldap_connect(pld);
  if (nCode != LDAP_SUCCESS) {
    ldap_unbind_ext_s(pld, nullptr, nullptr);
    // A server that took the connection and failed its TLS handshake.
    if (fLdaps && nCode == LDAP_SERVER_DOWN && t_fTransportUp) nCode = LDAP_CONNECT_ERROR;
    return nCode;
  }
  *ppld = pld;
  return LDAP_SUCCESS;
}

}  // namespace

int OpenDirectoryConnection(const CConnectionSettings& settings, LDAP** ppld) {
  *ppld = nullptr;
  int nCode = LDAP_SERVER_DOWN;
  for (const std::string& sUri : settings.rgsServers) {
    nCode = ConnectOne(settings, sUri, ppld);
    if (nCode == LDAP_SUCCESS) break;
  }
  return nCode;
}

int BindSimple(LDAP* pld, const std::string& sDn, const std::string& sPassword) {
  berval cred;
  cred.bv_val = const_cast<char*>(sPassword.c_str());
  cred.bv_len = sPassword.size();
  return ldap_sasl_bind_s(pld, sDn.c_str(), LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, nullptr);
}

int BindServiceIdentity(LDAP* pld, const CDirectorySettings& settings) {
  if (!settings.sKeytab.empty()) return BindGssapi(pld, settings);
  if (settings.sBindDn.empty() || settings.sPasswordFile.empty()) return LDAP_INVALID_CREDENTIALS;
  int fd = open(settings.sPasswordFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return LDAP_INVALID_CREDENTIALS;
  struct stat st {};
  // A password that others can read is no longer the service's alone.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 077) != 0 ||
      st.st_size > 4096) {
    close(fd);
    return LDAP_INVALID_CREDENTIALS;
  }
  char rgb[4097];
  ssize_t cb = read(fd, rgb, sizeof rgb - 1);
  close(fd);
  if (cb < 0) cb = 0;
  std::string sPassword(rgb, static_cast<size_t>(cb));
  std::memset(rgb, 0, sizeof rgb);
  size_t nEnd = sPassword.find_first_of("\r\n");
  if (nEnd != std::string::npos) {
    std::memset(sPassword.data() + nEnd, 0, sPassword.size() - nEnd);
    sPassword.resize(nEnd);
  }
  int nCode = BindSimple(pld, settings.sBindDn, sPassword);
  WipeString(&sPassword);
  return nCode;
}

bool IsPrivateFile(const std::string& sPath) {
  struct stat st {};
  return !sPath.empty() && stat(sPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & 077) == 0;
}

std::string DiagnosticMessage(LDAP* pld) {
  char* psz = nullptr;
  ldap_get_option(pld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &psz);
  std::string s = psz != nullptr ? psz : "";
  ldap_memfree(psz);
  return s;
}

void WipeString(std::string* ps) {
  volatile char* pch = ps->data();
  for (size_t i = 0; i < ps->size(); ++i) pch[i] = 0;
  ps->clear();
}

}  // namespace platform
